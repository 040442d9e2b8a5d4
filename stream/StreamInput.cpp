#include "StreamInput.h"

#include "OutsideText.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

Q_LOGGING_CATEGORY(lcStream, "dovrane.stream")

namespace dovrane {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kFrameBytes = AudioInput::kChannels * 2;
constexpr int kBuffersPerSecond = AudioInput::kSampleRate * kFrameBytes / AudioInput::kBufferBytes;
/// How far ahead of the wall clock buffers are handed over.
constexpr auto kLead = 1s;
/// What a burst may hold back before the worker stops reading (about 30 s).
constexpr std::size_t kMaxAhead = 30 * kBuffersPerSecond;
/// What waits for this object's thread before the oldest is dropped (about 2 s).
constexpr std::size_t kMaxHandover = 2 * kBuffersPerSecond;
// Buffers go over to the owner's thread four at a time (about 93 ms), as the sound
// card's do: one wake-up of each thread instead of four.
constexpr qint64 kBatch = 4;
/// The first seconds of a connection, over which its burst is measured.
constexpr auto kBurstWindow = 10s;
/// How much more than its first burst a source may get ahead before it is skipped.
constexpr auto kDriftMargin = 2s;
constexpr auto kTitlePoll = 500ms;
/// How long stop() waits for the worker before leaving it to finish by itself (a
/// name lookup cannot be interrupted).
constexpr auto kStopWait = 900ms;
constexpr qsizetype kMaxServerText = 200;

/// When buffer number n of a connection starts, counted from its first.
Steady::duration bufferTime(qint64 n)
{
    return std::chrono::duration_cast<Steady::duration>(std::chrono::nanoseconds(
        n * (AudioInput::kBufferBytes / kFrameBytes) * 1'000'000'000LL / AudioInput::kSampleRate));
}

// FFmpeg says why a connection failed only in its log; the worker thread keeps its
// last error line, and FFmpeg's chatter stays out of the program's output.
thread_local QString* t_lastLogLine = nullptr;

void logLine(void* avcl, int level, const char* format, va_list args)
{
    if (t_lastLogLine == nullptr || level > AV_LOG_ERROR)
        return;
    char line[512];
    int prefix = 0; // no "[tls @ 0x55d0…]"
    av_log_format_line2(avcl, level, format, args, line, int(sizeof line), &prefix);
    const QString text = QString::fromUtf8(line).trimmed();
    if (!text.isEmpty())
        *t_lastLogLine = text;
}

QString avError(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromUtf8(text);
}

QString option(void* object, const char* name)
{
    uint8_t* value = nullptr;
    if (object == nullptr || av_opt_get(object, name, AV_OPT_SEARCH_CHILDREN, &value) < 0)
        return {};
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(value)).left(4096);
    av_free(value);
    return text;
}

QString codecName(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_MP3:
        return QStringLiteral("MP3");
    case AV_CODEC_ID_AAC:
        return QStringLiteral("AAC");
    case AV_CODEC_ID_OPUS:
        return QStringLiteral("Opus");
    case AV_CODEC_ID_VORBIS:
        return QStringLiteral("Vorbis");
    case AV_CODEC_ID_FLAC:
        return QStringLiteral("FLAC");
    default:
        break;
    }
    const QString name = QString::fromLatin1(avcodec_get_name(id));
    if (name.startsWith(QLatin1String("pcm_")))
        return QStringLiteral("PCM %1-bit").arg(av_get_bits_per_sample(id));
    return name.toUpper();
}

QString describe(AVCodecID codec, int rate, int channels, qint64 bitRate)
{
    QString text = QStringLiteral("%1, %2 Hz, ").arg(codecName(codec)).arg(rate);
    text += channels == 1 ? QStringLiteral("1 channel (measured on both sides)")
                          : QStringLiteral("%1 channels").arg(channels);
    if (channels > 2)
        text += QStringLiteral(" (front left and right measured)");
    if (bitRate > 0)
        text += QStringLiteral(", %1 kbit/s").arg((bitRate + 500) / 1000);
    return text;
}

QString httpStatus(int error)
{
    switch (error) {
    case AVERROR_HTTP_BAD_REQUEST:
        return QStringLiteral("HTTP 400 (bad request)");
    case AVERROR_HTTP_UNAUTHORIZED:
        return QStringLiteral("HTTP 401 (the user name or password is not accepted)");
    case AVERROR_HTTP_FORBIDDEN:
        return QStringLiteral("HTTP 403 (forbidden)");
    case AVERROR_HTTP_NOT_FOUND:
        return QStringLiteral("HTTP 404 (not found)");
    case AVERROR_HTTP_OTHER_4XX:
        return QStringLiteral("HTTP 4xx (refused)");
    case AVERROR_HTTP_SERVER_ERROR:
        return QStringLiteral("HTTP 5xx (server error)");
    default:
        return {};
    }
}

bool isFile(const QUrl& url)
{
    return url.scheme().isEmpty() || url.scheme() == QLatin1String("file");
}

} // namespace

struct StreamInput::Shared
{
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stopping{false};
    bool finished = false;
    /// Null once stop() has let go: nothing more is posted.
    StreamInput* owner = nullptr;
    std::deque<QByteArray> handover;
    bool drainPosted = false;
    qint64 dropped = 0;
    std::atomic<int> bufferedAtStartMs{0};
};

/// Runs on the worker thread: connects, decodes, paces and retries until stopped.
class StreamInput::Worker
{
public:
    Worker(std::shared_ptr<Shared> shared, Options options)
        : m_shared(std::move(shared)), m_options(std::move(options))
    {}
    ~Worker() { closeSession(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void run()
    {
        QString lastLogLine;
        t_lastLogLine = &lastLogLine;
        m_lastLogLine = &lastLogLine;
        auto retry = std::chrono::milliseconds(m_options.firstRetryMs);
        while (!m_shared->stopping) {
            const QString why = OutsideText::redacted(play(), kMaxServerText);
            closeSession();
            // What was held back still plays, as it would in a player: the end of a
            // file, or the burst of a connection that broke.
            while (!m_ahead.empty() &&
                   waitUntil(m_start + bufferTime(m_queued - qint64(m_ahead.size())) - kLead))
                release();
            if (m_shared->stopping)
                break;
            post([why](StreamInput& owner) { owner.wentDown(why); });
            if (m_gotAudio)
                retry = std::chrono::milliseconds(m_options.firstRetryMs);
            if (!waitFor(retry))
                break;
            retry = std::min(retry * 2, std::chrono::milliseconds(m_options.maxRetryMs));
        }
        t_lastLogLine = nullptr;
        const std::lock_guard lock(m_shared->mutex);
        m_shared->finished = true;
        m_shared->wake.notify_all();
    }

private:
    /// One connection, until it ends; returns why.
    QString play()
    {
        const QUrl url(m_options.url);
        const QByteArray address = m_options.url.toUtf8();
        const auto noData = std::chrono::seconds(m_options.noDataSecs);
        m_lastLogLine->clear();
        m_gotAudio = false;
        m_timedOut = false;
        m_deadline = Steady::now() + noData;
        m_connectedAt = Steady::now();
        m_queued = 0;
        m_ahead.clear();
        m_pending.clear();
        m_icyPacket.clear();
        m_shared->bufferedAtStartMs = 0;

        // An address from the network may not reach local files through a playlist.
        const char* protocols = isFile(url)
                                    ? "file,crypto,data,http,https,tcp,tls,udp,rtp,srtp,srt"
                                    : "crypto,data,http,https,tcp,tls,udp,rtp,srtp,srt,rtmp,rtmps";
        const AVIOInterruptCB interrupt{&Worker::interrupted, this};
        AVDictionary* io = nullptr;
        av_dict_set(&io, "protocol_whitelist", protocols, 0);
        if (url.scheme().startsWith(QLatin1String("http"))) {
            av_dict_set(&io, "icy", "1", 0);
            av_dict_set(&io, "user_agent", "Dovrane", 0);
            // FFmpeg trusts any certificate unless told; the address may carry a password.
            av_dict_set(&io, "tls_verify", "1", 0);
        }
        // RTSP is a conversation the demuxer holds itself, not a byte stream.
        const bool rtsp = url.scheme().startsWith(QLatin1String("rtsp"));
        int error = 0;
        QString mime;
        if (!rtsp) {
            error = avio_open2(&m_io, address.constData(), AVIO_FLAG_READ, &interrupt, &io);
            if (error < 0) {
                av_dict_free(&io);
                return connectFailure(error);
            }
            mime = option(m_io, "mime_type").section(QLatin1Char(';'), 0, 0).trimmed();
            if (mime == QLatin1String("text/html") ||
                mime == QLatin1String("application/xhtml+xml")) {
                av_dict_free(&io);
                return QStringLiteral("serves a web page (%1), not audio").arg(mime);
            }
        }
        av_dict_free(&io);

        m_format = avformat_alloc_context();
        m_format->interrupt_callback = interrupt;
        if (m_io != nullptr) {
            m_format->pb = m_io;
            m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
        }
        AVDictionary* demux = nullptr;
        av_dict_set(&demux, "protocol_whitelist", protocols, 0);
        error = avformat_open_input(&m_format, address.constData(), nullptr, &demux);
        av_dict_free(&demux);
        if (rtsp && error < 0)
            return connectFailure(error);
        // A weak guess is how FFmpeg reads noise as MP3.
        if (error < 0 || m_format->probe_score <= AVPROBE_SCORE_RETRY)
            return notAudio(error, mime);
        if ((error = avformat_find_stream_info(m_format, nullptr)) < 0)
            return readFailure(error);
        const AVCodec* codec = nullptr;
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (m_stream < 0 || codec == nullptr)
            return m_stream == AVERROR_DECODER_NOT_FOUND
                       ? QStringLiteral("no decoder for its audio")
                       : notAudio(AVERROR_STREAM_NOT_FOUND, mime);
        m_codec = avcodec_alloc_context3(codec);
        const AVStream* stream = m_format->streams[m_stream];
        if (avcodec_parameters_to_context(m_codec, stream->codecpar) < 0 ||
            avcodec_open2(m_codec, codec, nullptr) < 0)
            return QStringLiteral("cannot open the %1 decoder").arg(codecName(codec->id));
        m_bitRate = stream->codecpar->bit_rate > 0 ? stream->codecpar->bit_rate : m_codec->bit_rate;

        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        while (!m_shared->stopping) {
            error = av_read_frame(m_format, m_packet);
            if (error == AVERROR_EOF)
                return m_gotAudio ? QStringLiteral("the stream ended")
                                  : QStringLiteral("the stream ended before any audio");
            if (error < 0)
                return readFailure(error);
            if (m_packet->stream_index == m_stream && avcodec_send_packet(m_codec, m_packet) >= 0) {
                while (avcodec_receive_frame(m_codec, m_frame) >= 0) {
                    convert(m_frame);
                    av_frame_unref(m_frame);
                    extendDeadline();
                }
            }
            av_packet_unref(m_packet);
            pollTitle();
            release();
        }
        return {};
    }

    QString connectFailure(int error) const
    {
        if (m_timedOut)
            return QStringLiteral("cannot connect: no answer within %1 s")
                .arg(m_options.noDataSecs);
        QString status = httpStatus(error);
        if (!status.isEmpty())
            return status;
        if (error == AVERROR(ECONNREFUSED))
            return QStringLiteral("cannot connect: connection refused");
        return QStringLiteral("cannot connect: %1")
            .arg(m_lastLogLine->isEmpty() ? avError(error) : *m_lastLogLine);
    }

    QString notAudio(int error, const QString& mime) const
    {
        if (m_timedOut)
            return readFailure(error);
        if (mime.startsWith(QLatin1String("text/")))
            return QStringLiteral("serves text (%1), not audio").arg(mime);
        return error == AVERROR_STREAM_NOT_FOUND
                   ? QStringLiteral("has no audio in it")
                   : QStringLiteral("sends bytes that are not audio (no format recognised)");
    }

    QString readFailure(int error) const
    {
        // Bytes came, but in all that time not one decoded into sound.
        if (m_timedOut && !m_gotAudio && m_io != nullptr && m_io->bytes_read > 0)
            return QStringLiteral("sends bytes that are not audio (nothing decoded in %1 s)")
                .arg(m_options.noDataSecs);
        if (m_timedOut)
            return QStringLiteral("no audio for %1 s").arg(m_options.noDataSecs);
        if (m_lastLogLine->contains(QLatin1String("ends prematurely")))
            return QStringLiteral("the server closed the connection");
        return QStringLiteral("reading failed: %1")
            .arg(m_lastLogLine->isEmpty() ? avError(error) : *m_lastLogLine);
    }

    /// Resamples one decoded frame to the handed-over format and queues whole buffers.
    void convert(const AVFrame* frame)
    {
        if (m_resampler == nullptr || frame->sample_rate != m_rate ||
            frame->format != m_sampleFormat ||
            av_channel_layout_compare(&frame->ch_layout, &m_layout) != 0) {
            if (!openResampler(frame))
                return;
            // The decoder knows the rate of what it decodes now (MP3 says in each frame).
            const QString text = describe(m_codec->codec_id, m_rate, m_layout.nb_channels,
                                          m_codec->bit_rate > 0 ? m_codec->bit_rate : m_bitRate);
            if (m_gotAudio)
                post([text](StreamInput& owner) { Q_EMIT owner.formatChanged(text); });
            m_description = text;
        }
        const int room = swr_get_out_samples(m_resampler, frame->nb_samples);
        if (room <= 0)
            return;
        m_converted.resize(std::size_t(room) * kFrameBytes);
        uint8_t* out = m_converted.data();
        const int frames =
            swr_convert(m_resampler, &out, room, const_cast<const uint8_t**>(frame->extended_data),
                        frame->nb_samples);
        if (frames <= 0)
            return;
        m_pending.append(reinterpret_cast<const char*>(out), qsizetype(frames) * kFrameBytes);
        // Up once a whole buffer is there: a decoder's first frame can be a few
        // samples at a rate the stream does not have.
        if (!m_gotAudio && m_pending.size() >= kBufferBytes) {
            m_gotAudio = true;
            post([text = m_description](StreamInput& owner) { owner.cameUp(text); });
        }
        qsizetype used = 0;
        for (; m_pending.size() - used >= kBufferBytes; used += kBufferBytes)
            queue(m_pending.mid(used, kBufferBytes));
        m_pending.remove(0, used);
    }

    /// Front left to left and front right to right, as they are: no downmix, and a
    /// single channel to both sides at its own level.
    bool openResampler(const AVFrame* frame)
    {
        swr_free(&m_resampler);
        av_channel_layout_uninit(&m_layout);
        av_channel_layout_copy(&m_layout, &frame->ch_layout);
        m_rate = frame->sample_rate;
        m_sampleFormat = frame->format;
        AVChannelLayout in{};
        av_channel_layout_copy(&in, &frame->ch_layout);
        if (in.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, in.nb_channels);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        const int channels = in.nb_channels;
        int left = av_channel_layout_index_from_channel(&in, AV_CHAN_FRONT_LEFT);
        int right = av_channel_layout_index_from_channel(&in, AV_CHAN_FRONT_RIGHT);
        if (left < 0 || right < 0) {
            left = 0;
            right = channels > 1 ? 1 : 0;
        }
        std::vector<double> matrix(2 * std::size_t(channels), 0.0);
        matrix[std::size_t(left)] = 1.0;
        matrix[std::size_t(channels) + std::size_t(right)] = 1.0;
        const bool ok =
            channels > 0 && m_rate > 0 &&
            swr_alloc_set_opts2(&m_resampler, &stereo, AV_SAMPLE_FMT_S16, kSampleRate, &in,
                                AVSampleFormat(m_sampleFormat), m_rate, 0, nullptr) >= 0 &&
            swr_set_matrix(m_resampler, matrix.data(), channels) >= 0 && swr_init(m_resampler) >= 0;
        av_channel_layout_uninit(&in);
        if (!ok)
            swr_free(&m_resampler);
        return ok;
    }

    /// Paced: a buffer waits here until it is less than kLead ahead of its time,
    /// counted from the connection's first buffer, or from the moment the source
    /// last fell behind.
    void queue(QByteArray buffer)
    {
        const auto now = Steady::now();
        if (m_queued == 0)
            m_first = now;
        if (m_ahead.empty() && now > m_start + bufferTime(m_queued))
            m_start = now - bufferTime(m_queued);
        m_ahead.push_back(std::move(buffer));
        ++m_queued;
        const bool burst = now - m_connectedAt < kBurstWindow;
        if (burst) {
            const auto ahead =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::min<Steady::duration>(
                    bufferTime(m_queued) - (now - m_first), kLead + kDriftMargin));
            if (ahead.count() > m_shared->bufferedAtStartMs)
                m_shared->bufferedAtStartMs = int(ahead.count());
        }
        // What a server sends at once on connecting is the past: a monitor listens at
        // the live edge, so of the burst only kLead and a margin are kept, and every
        // alarm comes that much late, not the whole burst late. Later, a live source
        // whose clock runs a little fast piles up behind the pacing the same way;
        // the oldest waiting buffer is skipped.
        if (bufferTime(qint64(m_ahead.size())) >
            (burst ? Steady::duration(0)
                   : Steady::duration(std::chrono::milliseconds(m_shared->bufferedAtStartMs))) +
                kLead + kDriftMargin) {
            m_ahead.pop_front();
            m_start -= bufferTime(1);
            const std::lock_guard lock(m_shared->mutex);
            ++m_shared->dropped;
        }
        release();
        while (m_ahead.size() >= kMaxAhead && !m_shared->stopping) {
            const qint64 head = m_queued - qint64(m_ahead.size());
            waitUntil(m_start + bufferTime(head + kBatch - 1) - kLead);
            release();
            extendDeadline();
        }
    }

    /// A source that sent ahead (a burst, a live playlist's segments) goes quiet
    /// for a while in between; it has fallen silent only noDataSecs after what it
    /// sent has played out.
    void extendDeadline()
    {
        m_deadline = std::max(Steady::now(), m_start + bufferTime(m_queued)) +
                     std::chrono::seconds(m_options.noDataSecs);
    }

    /// Hands over what is due; also runs from FFmpeg's interrupt check while it
    /// waits on the network, so pacing goes on between packets.
    void release()
    {
        const qint64 head = m_queued - qint64(m_ahead.size());
        if (m_ahead.empty() ||
            m_start + bufferTime(head + std::min<qint64>(kBatch, qint64(m_ahead.size())) - 1) -
                    kLead >
                Steady::now())
            return;
        const auto now = Steady::now();
        std::lock_guard lock(m_shared->mutex);
        bool any = false;
        while (!m_ahead.empty() &&
               m_start + bufferTime(m_queued - qint64(m_ahead.size())) - kLead <= now) {
            m_shared->handover.push_back(std::move(m_ahead.front()));
            m_ahead.pop_front();
            any = true;
            if (m_shared->handover.size() > kMaxHandover) {
                m_shared->handover.pop_front();
                ++m_shared->dropped;
            }
        }
        if (any && !m_shared->drainPosted && m_shared->owner != nullptr) {
            m_shared->drainPosted = true;
            postLocked([shared = m_shared](StreamInput& owner) { owner.drain(shared); });
        }
    }

    void pollTitle()
    {
        const auto now = Steady::now();
        if (now < m_nextTitlePoll)
            return;
        m_nextTitlePoll = now + kTitlePoll;
        const QString packet = option(m_io, "icy_metadata_packet");
        if (packet.isEmpty() || packet == m_icyPacket)
            return;
        m_icyPacket = packet;
        static const QRegularExpression streamTitle(QStringLiteral("StreamTitle='(.*?)';"));
        const QRegularExpressionMatch match = streamTitle.match(packet);
        if (!match.hasMatch())
            return;
        post([title = OutsideText::redacted(match.captured(1), kMaxServerText)](
                 StreamInput& owner) { owner.newTitle(title); });
    }

    static int interrupted(void* opaque)
    {
        auto* self = static_cast<Worker*>(opaque);
        if (self->m_shared->stopping)
            return 1;
        self->release();
        if (Steady::now() > self->m_deadline) {
            self->m_timedOut = true;
            return 1;
        }
        return 0;
    }

    /// false when stopped meanwhile.
    bool waitFor(Steady::duration duration) { return waitUntil(Steady::now() + duration); }
    bool waitUntil(Steady::time_point until)
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->wake.wait_until(lock, until, [this] { return m_shared->stopping.load(); });
        return !m_shared->stopping;
    }

    template <typename F> void post(F&& call)
    {
        const std::lock_guard lock(m_shared->mutex);
        postLocked(std::forward<F>(call));
    }
    template <typename F> void postLocked(F&& call)
    {
        StreamInput* owner = m_shared->owner;
        if (owner == nullptr)
            return;
        QMetaObject::invokeMethod(
            owner,
            [owner, shared = m_shared, call = std::forward<F>(call)] {
                if (owner->m_shared == shared)
                    call(*owner);
            },
            Qt::QueuedConnection);
    }

    void closeSession()
    {
        swr_free(&m_resampler);
        av_channel_layout_uninit(&m_layout);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_format);
        avio_closep(&m_io);
        m_stream = -1;
    }

    std::shared_ptr<Shared> m_shared;
    const Options m_options;
    QString* m_lastLogLine = nullptr;

    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_resampler = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_stream = -1;
    qint64 m_bitRate = 0;

    AVChannelLayout m_layout{};
    int m_rate = 0;
    int m_sampleFormat = -1;
    QString m_description;
    std::vector<uint8_t> m_converted;
    QByteArray m_pending;

    bool m_gotAudio = false;
    bool m_timedOut = false;
    Steady::time_point m_deadline;
    Steady::time_point m_connectedAt;
    Steady::time_point m_first;
    Steady::time_point m_start;
    /// Buffers of this connection so far, handed over or waiting in m_ahead.
    qint64 m_queued = 0;
    std::deque<QByteArray> m_ahead;
    Steady::time_point m_nextTitlePoll;
    QString m_icyPacket;
};

StreamInput::StreamInput(Options options, QObject* parent)
    : StreamSource(parent), m_options(std::move(options))
{
    static std::once_flag logging;
    std::call_once(logging, [] { av_log_set_callback(logLine); });
}

StreamInput::~StreamInput()
{
    stop();
}

QString StreamInput::shownSource(const QString& url)
{
    const QUrl parsed(url);
    if (isFile(parsed))
        return OutsideText::escaped(parsed.isLocalFile() ? parsed.toLocalFile() : url);
    return OutsideText::urlWithPath(parsed);
}

QString StreamInput::deviceName(int index) const
{
    return index == 0 ? shownSource(m_options.url) : QString();
}

int StreamInput::bufferedAtStartMs() const
{
    return m_shared ? m_shared->bufferedAtStartMs.load() : m_bufferedAtStartMs;
}

bool StreamInput::start()
{
    if (m_shared)
        return true;
    static const QStringList kSchemes{QStringLiteral("http"),  QStringLiteral("https"),
                                      QStringLiteral("srt"),   QStringLiteral("rtmp"),
                                      QStringLiteral("rtmps"), QStringLiteral("udp"),
                                      QStringLiteral("rtp"),   QStringLiteral("rtsp"),
                                      QStringLiteral("rtsps"), QStringLiteral("file")};
    const QUrl url(m_options.url);
    if (m_options.url.trimmed().isEmpty())
        m_error = QStringLiteral("no stream address");
    else if (!isFile(url) && !kSchemes.contains(url.scheme()))
        m_error = QStringLiteral("%1: not a kind of address Dovrane reads (%2)")
                      .arg(shownSource(m_options.url), kSchemes.join(QStringLiteral(", ")));
    else if (m_selected != 0)
        m_error = missingDeviceText(m_selected, 1);
    else
        m_error.clear();
    if (!m_error.isEmpty())
        return false;
    m_shared = std::make_shared<Shared>();
    m_shared->owner = this;
    m_thread =
        std::thread([shared = m_shared, options = m_options] { Worker(shared, options).run(); });
    return true;
}

void StreamInput::stop()
{
    if (!m_shared)
        return;
    std::unique_lock lock(m_shared->mutex);
    m_shared->stopping = true;
    m_shared->owner = nullptr;
    m_shared->wake.notify_all();
    const bool finished =
        m_shared->wake.wait_for(lock, kStopWait, [this] { return m_shared->finished; });
    lock.unlock();
    if (finished) {
        m_thread.join();
    } else {
        qCWarning(lcStream) << "the reader of" << shownSource(m_options.url)
                            << "is still waiting on the network; it ends by itself";
        m_thread.detach();
    }
    m_bufferedAtStartMs = m_shared->bufferedAtStartMs;
    m_shared.reset();
    m_up = false;
    m_downReported = false;
}

void StreamInput::drain(const std::shared_ptr<Shared>& shared)
{
    std::deque<QByteArray> buffers;
    qint64 dropped = 0;
    {
        const std::lock_guard lock(shared->mutex);
        buffers.swap(shared->handover);
        shared->drainPosted = false;
        std::swap(dropped, shared->dropped);
    }
    if (dropped > 0) {
        m_dropped += dropped;
        qCWarning(lcStream).noquote()
            << shownSource(m_options.url) << "skipped" << dropped
            << "buffers: Dovrane was busy, or the source runs ahead of real time";
    }
    for (const QByteArray& buffer : buffers) {
        if (m_shared != shared)
            return;
        Q_EMIT bufferReady(buffer);
    }
}

void StreamInput::wentDown(const QString& why)
{
    m_up = false;
    if (m_downReported)
        return;
    m_downReported = true;
    const QString shown = shownSource(m_options.url);
    qCWarning(lcStream).noquote() << shown << why;
    Q_EMIT streamDown(why);
    Q_EMIT captureLost(QStringLiteral("%1: %2").arg(shown, why));
}

void StreamInput::cameUp(const QString& description)
{
    m_description = description;
    if (m_up)
        return;
    m_up = true;
    const bool wasLost = m_downReported;
    m_downReported = false;
    Q_EMIT streamUp(description);
    if (wasLost)
        Q_EMIT captureRegained(
            QStringLiteral("%1: audio is back (%2)").arg(shownSource(m_options.url), description));
}

void StreamInput::newTitle(const QString& title)
{
    if (title == m_title)
        return;
    m_title = title;
    Q_EMIT titleChanged(title);
}

} // namespace dovrane

// The one entry of the stream module: the program finds it by this name.
extern "C" Q_DECL_EXPORT dovrane::AudioInput* dovraneMakeStreamInput(const QString& url,
                                                                     int noDataSecs)
{
    return new dovrane::StreamInput({url, noDataSecs});
}
