#include "HookRunner.h"

#include "Clock.h"

#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcHook, "dovrane.hook")

namespace dovrane {

HookRunner::HookRunner(Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {}

HookRunner::~HookRunner()
{
    for (QProcess* process : std::as_const(m_running)) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

void HookRunner::run(const QString& program, const StationEvent& event, const QString& facility)
{
    if (m_running.contains(event.kind)) {
        qCWarning(lcHook) << "hook for" << event.name() << "still running; this one skipped";
        return;
    }
    auto* process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DOVRANE_EVENT"), event.name());
    env.insert(QStringLiteral("DOVRANE_FACILITY"), facility);
    env.insert(QStringLiteral("DOVRANE_TIME"), event.time.toString(Qt::ISODate));
    env.insert(QStringLiteral("DOVRANE_SILENCE_SECONDS"), QString::number(event.seconds));
    if (!event.input.isEmpty())
        env.insert(QStringLiteral("DOVRANE_INPUT"), event.input);
    process->setProcessEnvironment(env);
    process->setProgram(program);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    m_running.insert(event.kind, process);

    ClockTimer* limit = m_clock.createTimer(process);
    limit->setInterval(kTimeLimitMs);
    connect(limit, &ClockTimer::timeout, process, [process, limit] {
        limit->stop();
        qCWarning(lcHook) << "hook" << process->program() << "killed after 30 s";
        process->kill();
    });
    connect(process, &QProcess::readyRead, this, [process] {
        for (const QByteArray& line : process->readAll().split('\n'))
            if (!line.isEmpty())
                qCInfo(lcHook).noquote() << QString::fromLocal8Bit(line);
    });
    const auto end = [this, process, kind = event.kind] {
        if (m_running.value(kind) != process)
            return;
        m_running.remove(kind);
        process->deleteLater();
    };
    connect(process, &QProcess::finished, this, [process, end](int code) {
        qCInfo(lcHook) << "hook" << process->program() << "ended with" << code;
        end();
    });
    connect(process, &QProcess::errorOccurred, this, [process, end](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        qCWarning(lcHook) << "hook" << process->program()
                          << "not started:" << process->errorString();
        end();
    });
    limit->start();
    process->start();
}

} // namespace dovrane
