#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class QLocalServer;

namespace dovrane {

/// The local control channel of a running Dovrane: a socket in the data folder
/// that only its owner can open, one command per line ("ack", ...), one answer
/// line each. A new command is one addCommand().
class ControlServer : public QObject
{
    Q_OBJECT
public:
    /// Gets the words after the command, returns the answer line.
    using Handler = std::function<QString(const QString& arguments)>;

    explicit ControlServer(QObject* parent = nullptr);

    void addCommand(const QString& name, Handler handler);
    /// Listens at path; false with why when it cannot.
    bool listen(const QString& path, QString* why);

    /// Client side: sends one command line and returns the answer (or why none came).
    [[nodiscard]] static bool call(const QString& path, const QString& line, QString* answer);

private:
    QLocalServer* m_server = nullptr;
    QHash<QString, Handler> m_commands;
};

} // namespace dovrane
