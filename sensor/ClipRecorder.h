#pragma once

#include "DataPaths.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QStringList>

namespace dovrane {

class AudioInput;
class Clock;

/// Keeps the last kRingSeconds of captured sound in memory and, for each fault,
/// writes a FLAC file of the kBeforeSeconds before the fault began and the time up
/// to its event into <data folder>/clips, named by the event's date and time. The
/// encoding and the removal of old clips run on a pool thread: the copy out of the
/// ring is all the caller's thread does.
class ClipRecorder : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRingSeconds = 60;
    static constexpr int kBeforeSeconds = 10;
    static constexpr qsizetype kFrameBytes = 4;
    static constexpr qsizetype kRingBytes = qsizetype(kRingSeconds) * 44100 * kFrameBytes;

    ClipRecorder(Clock& clock, AudioInput& audio, DataPaths paths, QObject* parent = nullptr);

    /// Off frees the ring; on allocates it and removes clips older than keepDays.
    void configure(bool on, int keepDays);

    /// Starts writing the clip of a fault that began at began and whose event is
    /// raised now; kind ends the name ("silence", "input_lost", ...). Nothing when off.
    void record(const QDateTime& began, const QString& kind);

    /// <data folder>/clips
    [[nodiscard]] static QString folder(const DataPaths& paths);
    /// Names of the clips there, newest first (at most max).
    [[nodiscard]] static QStringList latestClips(const DataPaths& paths, int max = 100);
    /// "2026-12-06_14-03-22_": what the name of a clip of an event at when begins with.
    [[nodiscard]] static QString namePrefix(const QDateTime& when);

Q_SIGNALS:
    /// A clip is complete on disk (path), or could not be written (why not empty).
    void written(const QString& path, const QString& why);

private:
    void push(const QByteArray& buffer);

    Clock& m_clock;
    DataPaths m_paths;
    int m_keepDays = 30;
    QByteArray m_ring;
    qsizetype m_write = 0;
    qsizetype m_filled = 0;
    QDateTime m_lastPush;
};

} // namespace dovrane
