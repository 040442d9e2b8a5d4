#include "JournalLog.h"

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <systemd/sd-daemon.h>

namespace dovrane::JournalLog {

namespace {

const char* prefixFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return SD_DEBUG;
    case QtInfoMsg:
        return SD_INFO;
    case QtWarningMsg:
        return SD_WARNING;
    case QtCriticalMsg:
        return SD_ERR;
    case QtFatalMsg:
        return SD_CRIT;
    }
    return SD_INFO;
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    write(prefixFor(type), qFormatLogMessage(type, context, message));
}

} // namespace

void write(const char* prefix, const QString& text)
{
    // journald reads the priority at the start of each line, so a message of
    // several lines (a mail program's complaint) carries it on every one. One
    // write per message keeps lines from other threads out of the middle.
    QByteArray bytes = text.toLocal8Bit();
    while (bytes.endsWith('\n'))
        bytes.chop(1);
    QByteArray out;
    for (const QByteArray& line : bytes.split('\n'))
        out += prefix + line + '\n';
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stderr);
    std::fflush(stderr);
}

void write(int priority, const QString& text)
{
    write(QByteArray('<' + QByteArray::number(priority) + '>').constData(), text);
}

void installMessageHandler()
{
    qInstallMessageHandler(handleMessage);
}

} // namespace dovrane::JournalLog
