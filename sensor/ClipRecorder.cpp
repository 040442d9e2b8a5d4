#include "ClipRecorder.h"

#include "AudioInput.h"
#include "Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace dovrane {

namespace {

void removeOlder(const QString& folder, const QDateTime& limit)
{
    const QFileInfoList clips = QDir(folder).entryInfoList({QStringLiteral("*.flac")}, QDir::Files);
    for (const QFileInfo& clip : clips)
        if (clip.lastModified() < limit)
            QFile::remove(clip.filePath());
}

/// Writes samples as 16-bit stereo FLAC at path; the reason when it cannot.
QString writeFlac(const QString& path, const QByteArray& samples)
{
    const QString part = path + QStringLiteral(".part");
    SF_INFO info{};
    info.samplerate = AudioInput::kSampleRate;
    info.channels = AudioInput::kChannels;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(part).constData(), SFM_WRITE, &info);
    if (!file)
        return QStringLiteral("Clip %1 cannot be written: %2").arg(path, sf_strerror(nullptr));
    const sf_count_t frames = samples.size() / ClipRecorder::kFrameBytes;
    const sf_count_t done =
        sf_writef_short(file, reinterpret_cast<const short*>(samples.constData()), frames);
    const QString error = QString::fromLocal8Bit(sf_strerror(file));
    sf_close(file);
    // Readers only ever see whole clips.
    if (done != frames || !QFile::rename(part, path)) {
        QFile::remove(part);
        return QStringLiteral("Clip %1 cannot be written: %2").arg(path, error);
    }
    return {};
}

} // namespace

ClipRecorder::ClipRecorder(Clock& clock, AudioInput& audio, DataPaths paths, QObject* parent)
    : QObject(parent), m_clock(clock), m_paths(std::move(paths))
{
    connect(&audio, &AudioInput::bufferReady, this, &ClipRecorder::push);
}

QString ClipRecorder::folder(const DataPaths& paths)
{
    return paths.file(QStringLiteral("clips"));
}

QString ClipRecorder::namePrefix(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss_"));
}

QStringList ClipRecorder::latestClips(const DataPaths& paths, int max)
{
    // Names start with the date and time, so the name order is the time order.
    QStringList names =
        QDir(folder(paths))
            .entryList({QStringLiteral("*.flac")}, QDir::Files, QDir::Name | QDir::Reversed);
    return names.mid(0, max);
}

void ClipRecorder::configure(bool on, int keepDays)
{
    m_keepDays = keepDays;
    if (!on) {
        m_ring = QByteArray();
        m_filled = m_write = 0;
        return;
    }
    if (m_ring.isEmpty()) {
        // Every page of the ring is touched now: left uninitialised, the first minute
        // of sound would grow the resident memory by 10 MiB, which reads like a leak
        // (it once was taken for one in reloads during that minute).
        m_ring = QByteArray(kRingBytes, '\0');
        m_filled = m_write = 0;
    }
    const QString dir = folder(m_paths);
    const QDateTime limit = m_clock.now().addDays(-keepDays);
    (void)QtConcurrent::run([dir, limit] { removeOlder(dir, limit); });
}

void ClipRecorder::push(const QByteArray& buffer)
{
    if (m_ring.isEmpty())
        return;
    m_lastPush = m_clock.now();
    const char* from = buffer.constData();
    qsizetype left = buffer.size() - buffer.size() % kFrameBytes;
    while (left > 0) {
        const qsizetype n = std::min(left, m_ring.size() - m_write);
        std::memcpy(m_ring.data() + m_write, from, size_t(n));
        from += n;
        left -= n;
        m_write = (m_write + n) % m_ring.size();
        m_filled = std::min(m_ring.size(), m_filled + n);
    }
}

void ClipRecorder::record(const QDateTime& began, const QString& kind)
{
    if (m_ring.isEmpty())
        return;
    const QDateTime now = m_clock.now();
    // The sound after the fault began that the ring holds: none when the input
    // stopped delivering (began is its last buffer).
    const qint64 heardMs =
        m_lastPush.isValid() ? std::max<qint64>(0, began.msecsTo(m_lastPush)) : 0;
    const qint64 wantBytes =
        (heardMs + 1000 * kBeforeSeconds) * AudioInput::kSampleRate / 1000 * kFrameBytes;
    const qsizetype bytes = qsizetype(std::min<qint64>(wantBytes, m_filled));
    QByteArray clip(bytes, Qt::Uninitialized);
    const qsizetype start = (m_write - bytes + m_ring.size()) % m_ring.size();
    const qsizetype first = std::min(bytes, m_ring.size() - start);
    std::memcpy(clip.data(), m_ring.constData() + start, size_t(first));
    std::memcpy(clip.data() + first, m_ring.constData(), size_t(bytes - first));

    const QString dir = folder(m_paths);
    const QString path = dir + QLatin1Char('/') + namePrefix(now) + kind + QStringLiteral(".flac");
    const QDateTime limit = now.addDays(-m_keepDays);
    auto* watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcher<QString>::finished, this, [this, watcher, path] {
        Q_EMIT written(path, watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([dir, path, clip = std::move(clip), limit] {
        if (!DataPaths::makeFolder(dir))
            return QStringLiteral("Clip folder %1 cannot be made").arg(dir);
        removeOlder(dir, limit);
        return writeFlac(path, clip);
    }));
}

} // namespace dovrane
