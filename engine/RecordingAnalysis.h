#pragma once

#include "StationEvent.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace dovrane {

/// Plays recordings through the station's own level test, silence alarm and
/// detectors on a clock of its own, as fast as the machine allows, and says what
/// they raised and when in the file. Engineers tune a station on their air checks
/// with it; the project measures its detectors on real programme with it. Nothing
/// is told to anyone: the alarm log goes to a folder that is thrown away.
class RecordingAnalysis
{
public:
    /// One event, at seconds into the file.
    struct Event
    {
        double at = 0;
        StationEvent::Kind kind = StationEvent::Kind::SilenceAlarm;
        QString what;
    };
    /// What the level test saw: a threshold and a delay that would have raised no
    /// silence alarm over the whole file, and why.
    struct Suggestion
    {
        qint32 threshold = 0;
        int delaySecs = 0;
        double quietSecs = 0; ///< the longest stretch under that threshold
        double quietAt = 0;   ///< where it began
    };
    struct Result
    {
        double seconds = 0;
        QList<Event> events;
        Suggestion suggestion;
    };

    /// settingsFile: Dovrane.ini to read [alarms], [detectors] from; threshold
    /// and delay as the parameters file gives them.
    RecordingAnalysis(QString settingsFile, qint32 threshold, qint16 delaySecs);

    /// Reads file (WAV, FLAC, Ogg...) and runs it; false with errorString() when the
    /// file cannot be read.
    [[nodiscard]] bool run(const QString& file, Result& result);
    [[nodiscard]] QString errorString() const { return m_error; }

    /// "dovrane analyse FILE... [--settings FILE] [--data-dir DIR]": prints every
    /// event and a summary per detector; 0 when every file was read.
    static int commandLine(const QStringList& arguments, std::FILE* out);

private:
    QString m_settingsFile;
    qint32 m_threshold = 0;
    qint16 m_delaySecs = 0;
    QString m_error;
};

} // namespace dovrane
