#include "PulseAudioInput.h"

#include <QLoggingCategory>
#include <QTimer>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>

Q_LOGGING_CATEGORY(lcPulse, "dovrane.sensor.pulse")

namespace dovrane {

namespace {

constexpr int kRetryMs = 1000;
/// Failed retries before a lost capture is reported. A restarted server is back
/// within one or two, and an operator need not hear of that.
constexpr int kRetriesBeforeReport = 3;
/// How long start() waits for the connection and its first device list. A local
/// server answers in milliseconds or refuses at once; this only bounds a hung one.
constexpr std::chrono::seconds kStartWait{5};
/// Bytes handed to the owner thread at a time: four buffers, about 93 ms. Few
/// wake-ups, and still inside one 100 ms alarm tick.
constexpr uint32_t kFragmentBytes = 4 * AudioInput::kBufferBytes;

/// The last device list any input of this process received. A new input answers
/// from it until its own list arrives, so the Preferences window, which lists the
/// devices the moment it opens, numbers them as the capturing input does.
struct LastKnownSources
{
    std::mutex mutex;
    QList<PulseAudioInput::Source> sources;
};

LastKnownSources& lastKnownSources()
{
    static LastKnownSources last;
    return last;
}

class MainloopLock
{
public:
    explicit MainloopLock(pa_threaded_mainloop* mainloop) : m_mainloop(mainloop)
    {
        pa_threaded_mainloop_lock(m_mainloop);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(m_mainloop); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* m_mainloop;
};

QString contextError(pa_context* context)
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(context)));
}

QString serverLostText(const QString& why)
{
    return QStringLiteral("the sound server is not available (%1)").arg(why);
}

} // namespace

struct PulseAudioInput::Pulse
{
    static void contextState(pa_context* context, void* userdata)
    {
        auto* self = static_cast<PulseAudioInput*>(userdata);
        if (context != self->m_context)
            return;
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (pa_operation* o =
                    pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
                pa_operation_unref(o);
            self->requestSources();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->contextFailed(contextError(context));
            break;
        default:
            break;
        }
    }

    static void subscription(pa_context* context, pa_subscription_event_type_t event, uint32_t,
                             void* userdata)
    {
        auto* self = static_cast<PulseAudioInput*>(userdata);
        if (context != self->m_context)
            return;
        const int type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        // Changes of a source's state or volume come often and move nothing in the list.
        if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SOURCE &&
            (type == PA_SUBSCRIPTION_EVENT_NEW || type == PA_SUBSCRIPTION_EVENT_REMOVE))
            self->requestSources();
    }

    static void sourceInfo(pa_context* context, const pa_source_info* info, int eol, void* userdata)
    {
        auto* self = static_cast<PulseAudioInput*>(userdata);
        if (context != self->m_context)
            return;
        if (eol == 0) {
            if (info->monitor_of_sink == PA_INVALID_INDEX)
                self->m_incoming.emplaceBack(
                    info->index,
                    Source{QString::fromUtf8(info->name), QString::fromUtf8(info->description)});
            return;
        }
        if (self->m_listing)
            pa_operation_unref(self->m_listing);
        self->m_listing = nullptr;
        if (eol < 0) // the connection is failing, which its state will say
            self->m_incoming.clear();
        else if (self->m_relist)
            self->requestSources();
        else
            self->publishSources();
    }

    static void streamState(pa_stream* stream, void* userdata)
    {
        auto* self = static_cast<PulseAudioInput*>(userdata);
        if (stream != self->m_stream)
            return;
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED)
            return;
        const int error = pa_context_errno(pa_stream_get_context(stream));
        const QString why =
            error == PA_ERR_KILLED || error == PA_ERR_NOENTITY
                ? QStringLiteral("the sound input was removed")
                : QStringLiteral("capture stopped (%1)").arg(QString::fromUtf8(pa_strerror(error)));
        const quint64 generation = self->m_streamGeneration;
        QMetaObject::invokeMethod(
            self, [self, generation, why] { self->streamLost(generation, why); },
            Qt::QueuedConnection);
    }

    static void streamRead(pa_stream* stream, size_t readable, void* userdata)
    {
        auto* self = static_cast<PulseAudioInput*>(userdata);
        if (stream != self->m_stream)
            return;
        // The server sends what the source gives as it comes, which can be every
        // 10 ms whatever the fragment size; it waits here for a whole fragment
        // rather than wake the owner thread for each piece.
        if (readable < kFragmentBytes)
            return;
        QByteArray data;
        const void* bytes = nullptr;
        size_t size = 0;
        while (pa_stream_peek(stream, &bytes, &size) == 0 && size > 0) {
            if (bytes) // else a hole, which holds no samples
                data.append(static_cast<const char*>(bytes), qsizetype(size));
            pa_stream_drop(stream);
        }
        if (data.isEmpty())
            return;
        const quint64 generation = self->m_streamGeneration;
        QMetaObject::invokeMethod(
            self, [self, generation, data] { self->received(generation, data); },
            Qt::QueuedConnection);
    }

    /// A stream given up while the server was still making it: it can only be
    /// disconnected once made. Holds the last reference and knows no input.
    static void abandonedStreamState(pa_stream* stream, void*)
    {
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            pa_stream_disconnect(stream);
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_unref(stream);
            break;
        default:
            break;
        }
    }
};

PulseAudioInput::PulseAudioInput(QObject* parent) : AudioInput(parent), m_retry(new QTimer(this))
{
    setObjectName(QStringLiteral("WaveIn"));
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &PulseAudioInput::retry);
    {
        LastKnownSources& last = lastKnownSources();
        std::lock_guard lock(last.mutex);
        m_shared.sources = last.sources;
    }
    m_mainloop = pa_threaded_mainloop_new();
    if (m_mainloop) {
        pa_threaded_mainloop_set_name(m_mainloop, "dovrane-pulse");
        if (pa_threaded_mainloop_start(m_mainloop) < 0) {
            pa_threaded_mainloop_free(m_mainloop);
            m_mainloop = nullptr;
        }
    }
    if (!m_mainloop) {
        qCWarning(lcPulse) << "cannot start the PulseAudio client thread";
        return;
    }
    openContext();
}

PulseAudioInput::~PulseAudioInput()
{
    if (!m_mainloop)
        return;
    // Everything disconnected and released under the lock, so no callback is left
    // that could run; then the thread ends and the loop goes.
    closeContext();
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

int PulseAudioInput::deviceCount() const
{
    std::lock_guard lock(m_shared.mutex);
    return int(m_shared.sources.size());
}

QString PulseAudioInput::deviceName(int index) const
{
    std::lock_guard lock(m_shared.mutex);
    if (index < 0 || index >= m_shared.sources.size())
        return {};
    return m_shared.sources.at(index).description;
}

QString PulseAudioInput::deviceId(int index) const
{
    std::lock_guard lock(m_shared.mutex);
    if (index < 0 || index >= m_shared.sources.size())
        return {};
    return m_shared.sources.at(index).name;
}

bool PulseAudioInput::start()
{
    stop();
    if (!m_mainloop) {
        m_error = QStringLiteral("The PulseAudio client could not be started");
        return false;
    }
    if (!listed()) {
        // Right after construction, or while the server is away: try now rather
        // than at the next retry, and wait (bounded) for the answer.
        if (contextHasFailed())
            closeContext();
        if (!m_context)
            openContext();
        const quint64 generation = m_contextGeneration;
        std::unique_lock lock(m_shared.mutex);
        m_shared.changed.wait_for(lock, kStartWait, [&] {
            return m_shared.listedGeneration == generation ||
                   m_shared.failedGeneration == generation;
        });
    }
    QList<Source> sources;
    {
        std::lock_guard lock(m_shared.mutex);
        if (m_shared.failedGeneration == m_contextGeneration) {
            m_error =
                QStringLiteral("The sound server is not available (%1)").arg(m_shared.failure);
            return false;
        }
        if (m_shared.listedGeneration != m_contextGeneration) {
            m_error = QStringLiteral("The sound server did not answer within %1 s")
                          .arg(std::chrono::seconds(kStartWait).count());
            return false;
        }
        sources = m_shared.sources;
    }
    if (m_selected < 0 || m_selected >= sources.size()) {
        m_error = missingDeviceText(m_selected, sources.size());
        return false;
    }
    m_sourceName = sources.at(m_selected).name;
    m_sourceDescription = sources.at(m_selected).description;
    QString error;
    if (!openStream(&error)) {
        m_error = QStringLiteral("%1: %2").arg(m_sourceDescription, error);
        m_sourceName.clear();
        m_sourceDescription.clear();
        return false;
    }
    m_capturing = true;
    m_error.clear();
    qCInfo(lcPulse) << "capturing from" << m_sourceDescription;
    return true;
}

void PulseAudioInput::stop()
{
    closeStream();
    m_capturing = false;
    m_outage = false;
    m_outageTicks = 0;
    m_lostReported = false;
    m_sourceName.clear();
    m_sourceDescription.clear();
    updateRetryTimer();
}

void PulseAudioInput::openContext()
{
    if (!m_mainloop || m_context)
        return;
    MainloopLock lock(m_mainloop);
    ++m_contextGeneration;
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Dovrane");
    m_context =
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_mainloop), nullptr, properties);
    pa_proplist_free(properties);
    if (!m_context) {
        contextFailed(QStringLiteral("no PulseAudio context"));
        return;
    }
    pa_context_set_state_callback(m_context, &Pulse::contextState, this);
    pa_context_set_subscribe_callback(m_context, &Pulse::subscription, this);
    // Never start a server of our own: the one to watch is the session's or the system's.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        contextFailed(contextError(m_context));
}

void PulseAudioInput::closeContext()
{
    if (!m_mainloop)
        return;
    MainloopLock lock(m_mainloop);
    closeStreamLocked();
    if (m_listing) {
        pa_operation_cancel(m_listing);
        pa_operation_unref(m_listing);
        m_listing = nullptr;
    }
    m_incoming.clear();
    m_relist = false;
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    ++m_contextGeneration;
}

bool PulseAudioInput::openStream(QString* error)
{
    MainloopLock lock(m_mainloop);
    closeStreamLocked();
    if (!m_context || pa_context_get_state(m_context) != PA_CONTEXT_READY) {
        *error = serverLostText(QStringLiteral("not connected"));
        return false;
    }
    const pa_sample_spec format{PA_SAMPLE_S16LE, kSampleRate, kChannels};
    m_stream = pa_stream_new(m_context, "Silence monitor", &format, nullptr);
    if (!m_stream) {
        *error = contextError(m_context);
        return false;
    }
    pa_stream_set_state_callback(m_stream, &Pulse::streamState, this);
    pa_stream_set_read_callback(m_stream, &Pulse::streamRead, this);
    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(-1);
    attributes.prebuf = uint32_t(-1);
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = kFragmentBytes;
    // ADJUST_LATENCY lets the source itself wake as seldom as the fragment allows.
    // DONT_MOVE: when the source goes the server would move the stream to another
    // one, and capture would go on from a device nobody chose.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_stream, m_sourceName.toUtf8().constData(), &attributes, flags) <
        0) {
        *error = contextError(m_context);
        closeStreamLocked();
        return false;
    }
    return true;
}

void PulseAudioInput::closeStream()
{
    if (!m_mainloop)
        return;
    MainloopLock lock(m_mainloop);
    closeStreamLocked();
}

void PulseAudioInput::closeStreamLocked()
{
    if (m_stream) {
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        switch (pa_stream_get_state(m_stream)) {
        case PA_STREAM_CREATING:
            pa_stream_set_state_callback(m_stream, &Pulse::abandonedStreamState, nullptr);
            break;
        case PA_STREAM_READY:
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            break;
        default:
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_unref(m_stream);
            break;
        }
        m_stream = nullptr;
    }
    ++m_streamGeneration;
    m_pending.clear(); // a part buffer must never join the next stream's data
}

bool PulseAudioInput::listed() const
{
    std::lock_guard lock(m_shared.mutex);
    return m_context && m_shared.listedGeneration == m_contextGeneration &&
           m_shared.failedGeneration != m_contextGeneration;
}

bool PulseAudioInput::contextHasFailed() const
{
    std::lock_guard lock(m_shared.mutex);
    return m_context && m_shared.failedGeneration == m_contextGeneration;
}

bool PulseAudioInput::sourcePresent() const
{
    std::lock_guard lock(m_shared.mutex);
    return std::any_of(m_shared.sources.cbegin(), m_shared.sources.cend(),
                       [this](const Source& s) { return s.name == m_sourceName; });
}

void PulseAudioInput::requestSources()
{
    if (m_listing) {
        m_relist = true; // asked again when this answer is complete
        return;
    }
    m_relist = false;
    m_incoming.clear();
    m_listing = pa_context_get_source_info_list(m_context, &Pulse::sourceInfo, this);
}

void PulseAudioInput::publishSources()
{
    std::sort(m_incoming.begin(), m_incoming.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<Source> sources;
    sources.reserve(m_incoming.size());
    for (const auto& entry : std::as_const(m_incoming))
        sources.append(entry.second);
    m_incoming.clear();
    {
        LastKnownSources& last = lastKnownSources();
        std::lock_guard lock(last.mutex);
        last.sources = sources;
    }
    const quint64 generation = m_contextGeneration;
    {
        std::lock_guard lock(m_shared.mutex);
        m_shared.sources = std::move(sources);
        m_shared.listedGeneration = generation;
    }
    m_shared.changed.notify_all();
    QMetaObject::invokeMethod(
        this, [this, generation] { sourcesChanged(generation); }, Qt::QueuedConnection);
}

void PulseAudioInput::contextFailed(const QString& why)
{
    const quint64 generation = m_contextGeneration;
    {
        std::lock_guard lock(m_shared.mutex);
        m_shared.failedGeneration = generation;
        m_shared.failure = why;
    }
    m_shared.changed.notify_all();
    QMetaObject::invokeMethod(
        this, [this, generation, why] { contextLost(generation, why); }, Qt::QueuedConnection);
}

void PulseAudioInput::contextLost(quint64 generation, const QString& why)
{
    if (generation != m_contextGeneration)
        return;
    closeContext();
    if (m_capturing)
        beginOutage(serverLostText(why));
    else if (m_serverReached)
        qCWarning(lcPulse) << "lost the sound server:" << why << "- retrying every second";
    else
        qCDebug(lcPulse) << "no sound server:" << why;
    m_serverReached = false;
    updateRetryTimer();
}

void PulseAudioInput::sourcesChanged(quint64 generation)
{
    if (generation != m_contextGeneration)
        return;
    if (!m_serverReached)
        qCDebug(lcPulse) << "connected to the sound server";
    m_serverReached = true;
    if (m_capturing && !m_stream && sourcePresent()) {
        QString error;
        if (!openStream(&error))
            beginOutage(error);
    }
    updateRetryTimer();
}

void PulseAudioInput::streamLost(quint64 generation, const QString& why)
{
    if (generation != m_streamGeneration)
        return;
    closeStream();
    if (m_capturing)
        beginOutage(why);
    updateRetryTimer();
}

void PulseAudioInput::beginOutage(const QString& why)
{
    if (m_outage)
        return; // one outage, however many parts of it fail
    m_outage = true;
    m_outageTicks = 0;
    m_error = QStringLiteral("%1: %2").arg(m_sourceDescription, why);
    qCWarning(lcPulse) << "capture stopped:" << m_error << "- retrying every second";
}

void PulseAudioInput::retry()
{
    if (!m_context) {
        openContext();
    } else if (m_capturing && !m_stream && listed() && sourcePresent()) {
        QString error;
        if (!openStream(&error))
            qCDebug(lcPulse) << "cannot reopen" << m_sourceDescription << error;
    }
    if (m_outage && !m_lostReported && ++m_outageTicks >= kRetriesBeforeReport) {
        m_lostReported = true;
        const QString lost =
            m_error + QStringLiteral("; capture resumes by itself when the input is back");
        qCWarning(lcPulse) << "capture not back after" << m_outageTicks << "attempts:" << lost;
        Q_EMIT captureLost(lost);
    }
    updateRetryTimer();
}

void PulseAudioInput::updateRetryTimer()
{
    const bool needed = m_mainloop && (!m_context || (m_capturing && m_outage));
    if (needed && !m_retry->isActive())
        m_retry->start();
    else if (!needed)
        m_retry->stop();
}

void PulseAudioInput::received(quint64 generation, const QByteArray& data)
{
    if (generation != m_streamGeneration || !m_capturing)
        return;
    if (m_outage) {
        m_outage = false;
        m_outageTicks = 0;
        m_error.clear();
        qCInfo(lcPulse) << m_sourceDescription << "capture is back";
        updateRetryTimer();
        if (m_lostReported) {
            m_lostReported = false;
            Q_EMIT captureRegained(QStringLiteral("%1: capture is back").arg(m_sourceDescription));
            if (generation != m_streamGeneration) // stopped or restarted from a handler
                return;
        }
    }
    m_pending.append(data);
    qsizetype offset = 0;
    while (m_pending.size() - offset >= kBufferBytes) {
        Q_EMIT bufferReady(m_pending.mid(offset, kBufferBytes));
        offset += kBufferBytes;
        if (generation != m_streamGeneration) // stopped or restarted from a handler
            return;
    }
    m_pending.remove(0, offset);
}

} // namespace dovrane
