#include "RecordingAnalysis.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmPlan.h"
#include "AlarmSettings.h"
#include "AudioInput.h"
#include "Clock.h"
#include "DataPaths.h"
#include "DeadAirWatch.h"
#include "DetectorSettings.h"
#include "ErrorReporter.h"
#include "FaultDetectors.h"
#include "LevelMeasurement.h"
#include "ParamsFile.h"
#include "Settings.h"
#include "SettingsSections.h"
#include "SilenceMonitor.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace dovrane {

namespace {

constexpr int kFrames = AudioInput::kBufferBytes / 4;

/// The recording as the sound card would deliver it: buffers of 1024 stereo
/// frames at 44.1 kHz, mono doubled, other rates resampled.
class RecordingInput final : public AudioInput
{
public:
    [[nodiscard]] int deviceCount() const override { return 1; }
    [[nodiscard]] QString deviceName(int) const override { return QStringLiteral("recording"); }
    void selectDevice(int) override {}
    [[nodiscard]] int selectedDevice() const override { return 0; }
    [[nodiscard]] bool start() override { return m_on = true; }
    void stop() override { m_on = false; }
    [[nodiscard]] bool isCapturing() const override { return m_on; }
    [[nodiscard]] QString errorString() const override { return {}; }
    void push(const QByteArray& buffer)
    {
        if (m_on)
            Q_EMIT bufferReady(buffer);
    }

private:
    bool m_on = false;
};

/// Reads a sound file in 44.1 kHz stereo buffers, resampling linearly: enough for
/// levels and detectors, which look below 20 kHz.
class SoundFileReader
{
public:
    explicit SoundFileReader(const QString& path)
    {
        m_file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &m_info);
        if (!m_file)
            return;
        m_step = double(m_info.samplerate) / AudioInput::kSampleRate;
        // Overs of a float recording are clipped, not wrapped round.
        sf_command(m_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    ~SoundFileReader()
    {
        if (m_file)
            sf_close(m_file);
    }
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    [[nodiscard]] bool isOpen() const { return m_file != nullptr; }
    [[nodiscard]] static QString error() { return QString::fromLocal8Bit(sf_strerror(nullptr)); }

    /// The next buffer; false at the end of the file (the last one is padded).
    bool next(QByteArray& buffer)
    {
        buffer.resize(AudioInput::kBufferBytes);
        auto* out = reinterpret_cast<qint16*>(buffer.data());
        if (m_info.samplerate == AudioInput::kSampleRate && m_info.channels <= 2)
            return nextAsIs(out);
        int made = 0;
        for (; made < kFrames; ++made) {
            const auto i = std::size_t(m_pos);
            if (i + 1 >= m_frames && !fill(i))
                break;
            const std::size_t at = i - m_base;
            const double f = m_pos - double(i);
            for (int c = 0; c < 2; ++c) {
                const float a = m_src[2 * at + std::size_t(c)];
                const float b = m_src[2 * (at + 1) + std::size_t(c)];
                const double v = (a + f * (b - a)) * 32767.0;
                out[2 * made + c] = qint16(std::lround(std::clamp(v, -32767.0, 32767.0)));
            }
            m_pos += m_step;
        }
        std::fill(out + 2 * made, out + 2 * kFrames, qint16(0));
        return made > 0;
    }

private:
    /// At 44.1 kHz libsndfile converts to 16 bits itself.
    bool nextAsIs(qint16* out)
    {
        const sf_count_t got = sf_readf_short(m_file, out, kFrames);
        if (m_info.channels == 1) {
            for (sf_count_t i = got - 1; i >= 0; --i)
                out[2 * i] = out[2 * i + 1] = out[i];
        }
        std::fill(out + 2 * got, out + 2 * kFrames, qint16(0));
        return got > 0;
    }

    /// Keeps source frames from `from` on and reads more; false at the end.
    bool fill(std::size_t from)
    {
        if (m_ended)
            return false;
        const std::size_t keep = std::min(from, m_frames) - m_base;
        m_src.erase(m_src.begin(), m_src.begin() + std::ptrdiff_t(2 * keep));
        m_base += keep;
        constexpr sf_count_t kChunk = 8192;
        const int channels = std::max(1, m_info.channels);
        m_read.resize(std::size_t(kChunk * channels));
        const sf_count_t got = sf_readf_float(m_file, m_read.data(), kChunk);
        m_ended = got < kChunk;
        for (sf_count_t n = 0; n < got; ++n) {
            const float* frame = &m_read[std::size_t(n * channels)];
            m_src.push_back(frame[0]);
            m_src.push_back(channels > 1 ? frame[1] : frame[0]);
        }
        m_frames = m_base + m_src.size() / 2;
        return std::size_t(m_pos) + 1 < m_frames;
    }

    SNDFILE* m_file = nullptr;
    SF_INFO m_info{};
    double m_step = 1;
    double m_pos = 0;
    std::vector<float> m_src;  ///< stereo frames from m_base on
    std::vector<float> m_read; ///< as the file has them
    std::size_t m_base = 0;
    std::size_t m_frames = 0; ///< read so far
    bool m_ended = false;
};

RecordingAnalysis::Suggestion suggest(const std::vector<qint16>& peaks)
{
    RecordingAnalysis::Suggestion s;
    if (peaks.empty())
        return s;
    std::vector<qint16> sorted = peaks;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                     sorted.end());
    s.threshold = LevelMeasurement::suggest(0, sorted[sorted.size() / 2]);
    const LevelMeasurement::QuietRun run = LevelMeasurement::longestQuiet(peaks, s.threshold);
    const double perBuffer = double(kFrames) / AudioInput::kSampleRate;
    s.quietSecs = run.buffers * perBuffer;
    s.quietAt = run.from * perBuffer;
    s.delaySecs = LevelMeasurement::suggestDelay(s.quietSecs);
    return s;
}

QString clockText(double seconds)
{
    const auto ms = qint64(std::llround(seconds * 10)) * 100;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 100 % 10);
}

} // namespace

RecordingAnalysis::RecordingAnalysis(QString settingsFile, qint32 threshold, qint16 delaySecs)
    : m_settingsFile(std::move(settingsFile)), m_threshold(threshold), m_delaySecs(delaySecs)
{}

bool RecordingAnalysis::run(const QString& file, Result& result)
{
    SoundFileReader reader(file);
    if (!reader.isOpen()) {
        m_error = SoundFileReader::error();
        return false;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        m_error = scratch.errorString();
        return false;
    }
    // The station's parts as the station wires them, on a clock of their own.
    // UTC: no time zone to look up at every step.
    const QDateTime start(QDate(2026, 1, 5), QTime(0, 0), Qt::UTC);
    ManualClock clock(start);
    RecordingInput audio;
    ErrorReporter errors;
    AlarmPlan plan;
    Account account;
    Settings settings(m_settingsFile);
    declareSections(settings);
    for (const QString& problem : settings.load().problems)
        qWarning().noquote() << "Dovrane.ini:" << problem;
    AlarmLog log(clock, DataPaths(scratch.path()), errors);
    SilenceMonitor monitor(plan, account, clock, audio, log, errors);
    monitor.setAlarmDelay(m_delaySecs);
    monitor.setThreshold(m_threshold);
    FaultDetectors detectors(clock, audio, monitor, log);
    detectors.configure(settings.get<DetectorSettings>());
    DeadAirWatch watch(clock, log, account, settings);
    monitor.setReleaseSecs(watch.apply().releaseSecs);
    monitor.setLevelTest(watch.levelTest());

    result = Result{};
    const auto add = [&](StationEvent::Kind kind, const QString& what) {
        result.events.append({start.msecsTo(clock.now()) / 1000.0, kind, what});
    };
    QObject::connect(&monitor, &SilenceMonitor::alarmRaised, &monitor,
                     [&] { add(StationEvent::Kind::SilenceAlarm, QStringLiteral("Alarm")); });
    QObject::connect(&monitor, &SilenceMonitor::alarmEnded, &monitor,
                     [&] { add(StationEvent::Kind::SilenceEnd, QStringLiteral("Alarm End")); });
    QObject::connect(
        &detectors, &FaultDetectors::faultChanged, &monitor,
        [&](StationEvent::Kind kind, qint64, const QString& what) { add(kind, what); });
    QObject::connect(&watch, &DeadAirWatch::eventRaised, &monitor,
                     [&](const StationEvent& e) { add(e.kind, e.what); });
    monitor.StartSensor();

    std::vector<qint16> peaks;
    QByteArray buffer;
    qint64 buffers = 0;
    while (reader.next(buffer)) {
        ++buffers;
        // The buffer arrives when its last frame has been captured.
        const qint64 dueMs = buffers * kFrames * 1000 / AudioInput::kSampleRate;
        clock.advance((dueMs - start.msecsTo(clock.now())) / 1000.0);
        audio.push(buffer);
        peaks.push_back(
            std::max(monitor.peakLeft() < 0 ? qint16(-monitor.peakLeft()) : monitor.peakLeft(),
                     monitor.peakRight() < 0 ? qint16(-monitor.peakRight()) : monitor.peakRight()));
    }
    clock.advance(0.1);
    monitor.setLevelTest({});
    result.seconds = double(buffers) * kFrames / AudioInput::kSampleRate;
    result.suggestion = suggest(peaks);
    return true;
}

int RecordingAnalysis::commandLine(const QStringList& arguments, std::FILE* out)
{
    QStringList files;
    QString settingsFile, dataDir = DataPaths::fromEnvironment().dataDir();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if ((a == u"--settings" || a == u"--data-dir") && i + 1 < arguments.size())
            (a == u"--settings" ? settingsFile : dataDir) = arguments.at(++i);
        else
            files << a;
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: dovrane analyse FILE... [--settings FILE] [--data-dir DIR]\n");
        return 2;
    }
    const DataPaths paths(dataDir);
    if (settingsFile.isEmpty())
        settingsFile = paths.settingsFile();
    // The parameters file is read only where it exists: opening creates it.
    qint32 threshold = 0;
    qint16 delay = 10;
    if (QFileInfo::exists(paths.paramsFile())) {
        ParamsFile params(paths.paramsFile());
        if (params.open()) {
            threshold = params.read(ParamsFile::Threshold);
            delay = qint16(params.read(ParamsFile::AlarmDelay));
            params.close();
        }
    }
    std::fprintf(out, "threshold %d (%.1f dBFS), silence delay %d s, settings %s\n", threshold,
                 LevelMeasurement::dBFS(threshold), delay,
                 QFileInfo::exists(settingsFile) ? qPrintable(settingsFile) : "none");
    RecordingAnalysis analysis(settingsFile, threshold, delay);
    int status = 0;
    for (const QString& file : files) {
        Result r;
        if (!analysis.run(file, r)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(analysis.errorString()));
            status = 1;
            continue;
        }
        std::fprintf(out, "%s (%s)\n", qPrintable(file), qPrintable(clockText(r.seconds)));
        QMap<QString, int> counts;
        for (const Event& e : std::as_const(r.events)) {
            std::fprintf(out, "  %s  %s\n", qPrintable(clockText(e.at)), qPrintable(e.what));
            counts[StationEvent::name(e.kind)] += 1;
        }
        std::fprintf(out, "  summary:");
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            std::fprintf(out, " %s %d", qPrintable(it.key()), it.value());
        std::fprintf(out, "%s\n", counts.isEmpty() ? " no events" : "");
        const Suggestion& s = r.suggestion;
        std::fprintf(out,
                     "  measure: threshold %d (%.1f dBFS, 20 dB under the typical peak), delay "
                     "%d s: the longest stretch under it lasted %.1f s, from %s\n",
                     s.threshold, LevelMeasurement::dBFS(s.threshold), s.delaySecs, s.quietSecs,
                     qPrintable(clockText(s.quietAt)));
    }
    return status;
}

} // namespace dovrane
