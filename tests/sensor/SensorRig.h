#pragma once

#include "AlarmLog.h"
#include "AppState.h"
#include "AudioInput.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "FakeAudioInput.h"
#include "SilenceMonitor.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace dovrane::test {

/// A monitor on a manual clock, a fake input and a real alarm log in a temporary
/// data folder. Buffers are pushed every 25 ms, as a real input delivers them
/// about every 23 ms. It notes the light, when it first went on, and every mail.
struct SensorRig
{
    explicit SensorRig(const QDateTime& start)
        : clock(start), paths(dir.path()), log(state, clock, paths, errors),
          monitor(state, clock, audio, log, errors)
    {
        QDir().mkpath(paths.logsDir());
        QObject::connect(&monitor, &SilenceMonitor::alarmLightChanged, &monitor, [this](bool on) {
            light = on;
            if (on && !raisedAt.isValid())
                raisedAt = clock.now();
        });
        QObject::connect(&monitor, &SilenceMonitor::mailRequested, &monitor, [this] {
            subjects << state.MailSubject;
            bodies << state.MailBody;
        });
    }

    /// Runs the clock for the given time; while capturing, every 25 ms a buffer
    /// of tone (sound) or of digital silence arrives.
    void run(double seconds, bool sound)
    {
        for (int i = qRound(seconds / 0.025); i > 0; --i) {
            clock.advance(0.025);
            audio.push(sound ? FakeAudioInput::toneBuffer(10000) : FakeAudioInput::silenceBuffer());
        }
    }

    /// The lines of the log file of that day, without their CR LF.
    [[nodiscard]] QStringList logLines(const QDate& date) const
    {
        QFile file(log.fileFor(date));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString text = QString::fromLatin1(file.readAll());
        if (text.endsWith(QLatin1String("\r\n")))
            text.chop(2);
        return text.isEmpty() ? QStringList{} : text.split(QStringLiteral("\r\n"));
    }
    [[nodiscard]] QStringList logLines() const { return logLines(clock.now().date()); }

    /// How many lines of today's log carry exactly this event text.
    [[nodiscard]] int count(const QString& event) const
    {
        int n = 0;
        for (const QString& line : logLines())
            n += line.mid(9) == event ? 1 : 0;
        return n;
    }

    QTemporaryDir dir;
    AppState state;
    ManualClock clock;
    FakeAudioInput audio;
    ErrorReporter errors;
    DataPaths paths;
    AlarmLog log;
    SilenceMonitor monitor;
    bool light = false;
    QDateTime raisedAt;
    QStringList subjects;
    QStringList bodies;
};

inline QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

/// The log texts of the alarm, 21 characters each.
inline const QString kAlarm = QStringLiteral("Alarm") + QString(16, QLatin1Char(' '));
inline const QString kAlarmEnd = QStringLiteral("Alarm End") + QString(12, QLatin1Char(' '));

} // namespace dovrane::test
