#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace dovrane {

/// The local control channel of a running Dovrane: a socket in the data folder
/// that only its owner can open, one command per line ("ack", ...), one answer
/// line each: "ok " or "no " (whether it was done), then the words for people. A
/// new command is one addCommand().
class ControlServer : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        bool done = false;
        QString text;
    };
    /// Gets the words after the command, returns whether it was done and why.
    using Handler = std::function<Answer(const QString& arguments)>;

    explicit ControlServer(QObject* parent = nullptr);

    void addCommand(const QString& name, Handler handler);
    /// Listens at path, and again whenever the socket stops or is removed; false
    /// with why when it cannot now.
    bool listen(const QString& path, QString* why);

    /// Client side: sends one command line; true when it was done. text gets the
    /// answer, or why none came.
    [[nodiscard]] static bool call(const QString& path, const QString& line, QString* text);

private:
    bool listenNow(QString* why);
    void serve(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
    QString m_path;
    QTimer m_check;
    QHash<QString, Handler> m_commands;
};

} // namespace dovrane
