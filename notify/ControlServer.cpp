#include "ControlServer.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcControl, "dovrane.control")

namespace dovrane {

namespace {
constexpr int kMaxLine = 1024;
constexpr int kClientWaitMs = 5000;
/// How often the socket is checked to still be there and listening.
constexpr int kCheckMs = 2000;
} // namespace

ControlServer::ControlServer(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
    // A failed accept (no descriptor left) makes the local server stop and remove
    // its socket; the file may also be deleted from outside. Either way the channel
    // comes back on its own.
    m_check.setInterval(kCheckMs);
    connect(&m_check, &QTimer::timeout, this, [this] {
        if (m_server->isListening() && QFileInfo::exists(m_path))
            return;
        m_server->close();
        QString why;
        if (listenNow(&why))
            qCInfo(lcControl) << "control channel back at" << m_path;
    });
}

void ControlServer::serve(QLocalSocket* socket)
{
    for (;;) {
        const QByteArray ahead = socket->peek(kMaxLine + 1);
        const qsizetype end = ahead.indexOf('\n');
        if (end < 0) {
            if (ahead.size() > kMaxLine) { // refused whole: a part could read as a command
                socket->readAll();
                socket->write("no line longer than " + QByteArray::number(kMaxLine) + " bytes\n");
                socket->disconnectFromServer();
            }
            return;
        }
        const QString line = QString::fromUtf8(socket->read(end + 1)).trimmed();
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        const auto handler = m_commands.constFind(name);
        const Answer answer = handler == m_commands.constEnd()
                                  ? Answer{false, QStringLiteral("unknown command: %1").arg(name)}
                                  : (*handler)(line.section(QLatin1Char(' '), 1).trimmed());
        socket->write((answer.done ? "ok " : "no ") + answer.text.toUtf8() + '\n');
    }
}

void ControlServer::addCommand(const QString& name, Handler handler)
{
    m_commands.insert(name, handler);
}

bool ControlServer::listen(const QString& path, QString* why)
{
    m_path = path;
    m_check.start();
    return listenNow(why);
}

bool ControlServer::listenNow(QString* why)
{
    const QString& path = m_path;
    // A socket file left by a killed run would refuse the listen; the instance lock
    // already makes sure no other Dovrane uses this folder.
    QLocalServer::removeServer(path);
    if (m_server->listen(path)) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return true;
    }
    if (why)
        *why = m_server->errorString();
    return false;
}

bool ControlServer::call(const QString& path, const QString& line, QString* text)
{
    // Without the socket file Qt would also warn about the name on standard error.
    if (!QFile::exists(path)) {
        *text = QStringLiteral("no running Dovrane at %1").arg(path);
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kClientWaitMs)) {
        *text = QStringLiteral("no running Dovrane at %1: %2").arg(path, socket.errorString());
        return false;
    }
    socket.write(line.toUtf8() + '\n');
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(kClientWaitMs)) {
            *text = QStringLiteral("no answer from %1").arg(path);
            return false;
        }
    const QString answer = QString::fromUtf8(socket.readLine()).trimmed();
    *text = answer.mid(3);
    return answer.startsWith(QLatin1String("ok "));
}

} // namespace dovrane
