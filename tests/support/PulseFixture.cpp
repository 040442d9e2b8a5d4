#include "PulseFixture.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QtEndian>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <numbers>
#include <pthread.h>
#include <unistd.h>

namespace dovrane::test {

namespace {

constexpr int kBytesPerFrame = 4;

QString shellQuote(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

/// Runs a shell command and returns its standard output (its errors go to ours).
bool runShell(const QString& command, QByteArray& output)
{
    FILE* pipe = ::popen(command.toLocal8Bit().constData(), "r");
    if (!pipe)
        return false;
    char buffer[512];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, qsizetype(n));
    return ::pclose(pipe) == 0;
}

/// pactl against our server, its chatter (module numbers) dropped.
bool pactl(const QStringList& args)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("pactl"), args);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

PulseFixture::PulseFixture() : m_script(QStringLiteral(DOVRANE_PULSE_FIXTURE_SCRIPT)) {}

PulseFixture::~PulseFixture()
{
    stop();
}

bool PulseFixture::start()
{
    if (::system("command -v pulseaudio >/dev/null 2>&1") != 0) {
        m_error = QStringLiteral("pulseaudio is not installed");
        return false;
    }
    QByteArray output;
    const QString command =
        QStringLiteral("sh %1 start --owner %2").arg(shellQuote(m_script)).arg(::getpid());
    if (!runShell(command, output)) {
        m_error = QStringLiteral("%1 failed: %2").arg(command, QString::fromLocal8Bit(output));
        return false;
    }
    // Lines of the form: export NAME='value'
    static const QRegularExpression exportLine(QStringLiteral("^export (\\w+)='([^']*)'$"),
                                               QRegularExpression::MultilineOption);
    QHash<QString, QString> values;
    for (auto it = exportLine.globalMatch(QString::fromLocal8Bit(output)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        qputenv(match.captured(1).toLocal8Bit().constData(), match.captured(2).toLocal8Bit());
        values.insert(match.captured(1), match.captured(2));
    }
    m_dir = values.value(QStringLiteral("DOVRANE_PULSE_DIR"));
    m_fifo = values.value(QStringLiteral("DOVRANE_PULSE_FIFO"));
    m_sourceName = values.value(QStringLiteral("DOVRANE_PULSE_SOURCE"));
    m_sourceDescription = values.value(QStringLiteral("DOVRANE_PULSE_DESCRIPTION"));
    if (m_dir.isEmpty() || m_fifo.isEmpty() || !values.contains(QStringLiteral("PULSE_SERVER"))) {
        m_error = QStringLiteral("unexpected output from %1: %2")
                      .arg(m_script, QString::fromLocal8Bit(output));
        return false;
    }

    if (!openFifo()) {
        stop();
        return false;
    }
    m_quit = false;
    m_writer = std::thread([this] { run(); });
    return true;
}

bool PulseFixture::openFifo()
{
    // The server holds the fifo open for reading, so a non-blocking open succeeds.
    const int fd = ::open(QFile::encodeName(m_fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_error = QStringLiteral("cannot open %1: %2")
                      .arg(m_fifo, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // A small pipe keeps what the source delivers close to what was just fed.
    ::fcntl(fd, F_SETPIPE_SZ, 8192);
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return true;
}

void PulseFixture::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_dir.isEmpty()) {
        QByteArray ignored;
        runShell(QStringLiteral("sh %1 stop %2").arg(shellQuote(m_script), shellQuote(m_dir)),
                 ignored);
        m_dir.clear();
    }
}

void PulseFixture::play(Background what, int left, int right)
{
    std::lock_guard lock(m_mutex);
    m_background = what;
    m_bgLeft = left;
    m_bgRight = right;
}

bool PulseFixture::unloadSource()
{
    return pactl({QStringLiteral("unload-module"), QStringLiteral("module-pipe-source")});
}

bool PulseFixture::reloadSource()
{
    const QStringList args = {
        QStringLiteral("load-module"),
        QStringLiteral("module-pipe-source"),
        QStringLiteral("source_name=%1").arg(m_sourceName),
        QStringLiteral("file=%1").arg(m_fifo),
        QStringLiteral("format=s16le"),
        QStringLiteral("rate=44100"),
        QStringLiteral("channels=2"),
        QStringLiteral("source_properties=\"device.description='%1'\"").arg(m_sourceDescription),
    };
    // The old fifo outlives the module; the new one must be made afresh.
    QFile::remove(m_fifo);
    return pactl(args) && openFifo();
}

bool PulseFixture::killServer()
{
    QFile pidFile(m_dir + QStringLiteral("/daemon.pid"));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("no daemon.pid in %1").arg(m_dir);
        return false;
    }
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
    pidFile.close();
    if (pid <= 0 || ::kill(pid, SIGTERM) != 0) {
        m_error = QStringLiteral("cannot end the server (pid %1)").arg(pid);
        return false;
    }
    // The daemon is not our child: it is gone when kill() fails or it is a zombie
    // waiting for whoever adopted it.
    const QString status = QStringLiteral("/proc/%1/status").arg(pid);
    const auto gone = [&] {
        if (::kill(pid, 0) != 0)
            return true;
        QFile file(status);
        return !file.open(QIODevice::ReadOnly) ||
               file.readAll().contains(QByteArrayLiteral("\nState:\tZ"));
    };
    for (int i = 0; i < 50 && !gone(); ++i)
        ::usleep(100 * 1000);
    if (!gone())
        ::kill(pid, SIGKILL);
    return true;
}

bool PulseFixture::startServerAgain()
{
    // The same command line and surroundings as the first start, so that only the
    // process is new. The pid goes where the launcher's "stop" looks for it.
    const QString dir = shellQuote(m_dir);
    const QString command =
        QStringLiteral("d=%1; rm -f \"$d/source.fifo\"; ("
                       " unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS DISPLAY;"
                       " export HOME=\"$d/home\" XDG_RUNTIME_DIR=\"$d/runtime\""
                       " XDG_CONFIG_HOME=\"$d/config\" XDG_STATE_HOME=\"$d/state\""
                       " PULSE_RUNTIME_PATH=\"$d/runtime/pulse\" PULSE_STATE_PATH=\"$d/state\""
                       " PULSE_COOKIE=\"$d/cookie\";"
                       " exec pulseaudio --system=false -n -F \"$d/server.pa\" --daemonize=no"
                       " --exit-idle-time=-1 --use-pid-file=no --realtime=no --high-priority=no"
                       " --disallow-exit=no --log-target=stderr --log-level=notice"
                       " ) </dev/null >>\"$d/daemon.log\" 2>&1 & echo $! >\"$d/daemon.pid\"")
            .arg(dir);
    QByteArray ignored;
    if (!runShell(command, ignored)) {
        m_error = QStringLiteral("cannot start the server again in %1").arg(m_dir);
        return false;
    }
    const QStringList list = {QStringLiteral("list"), QStringLiteral("short"),
                              QStringLiteral("sources")};
    for (int i = 0; i < 100; ++i) {
        QProcess pactlList;
        pactlList.start(QStringLiteral("pactl"), list);
        if (pactlList.waitForFinished(5000) && pactlList.exitCode() == 0 &&
            pactlList.readAllStandardOutput().contains(m_sourceName.toUtf8()) &&
            QFile::exists(m_fifo))
            return openFifo();
        ::usleep(100 * 1000);
    }
    m_error = QStringLiteral("the server did not come back in %1").arg(m_dir);
    return false;
}

bool PulseFixture::restartServer()
{
    return killServer() && startServerAgain();
}

bool PulseFixture::nextChunk(QByteArray& chunk)
{
    if (m_background == Background::Nothing)
        return false;
    chunk.resize(kChunkFrames * kBytesPerFrame);
    for (int i = 0; i < kChunkFrames; ++i, ++m_phase) {
        double s = 1.0;
        if (m_background == Background::Tone)
            s = std::sin(2.0 * std::numbers::pi * kToneHz * double(m_phase) / kRate);
        char* out = chunk.data() + kBytesPerFrame * i;
        qToLittleEndian<qint16>(qint16(std::lround(m_bgLeft * s)), out);
        qToLittleEndian<qint16>(qint16(std::lround(m_bgRight * s)), out + 2);
    }
    m_phase %= kRate; // 441 Hz: whole cycles in every second
    return true;
}

void PulseFixture::run()
{
    // The fifo's reader can vanish (unloadSource, a dying server). A write must then
    // fail with EPIPE instead of raising SIGPIPE, which QtTest treats as a crash.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    using namespace std::chrono;
    const auto period =
        duration_cast<steady_clock::duration>(duration<double>(double(kChunkFrames) / kRate));
    auto due = steady_clock::now();
    QByteArray chunk;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_until(lock, due, [this] { return m_quit; }))
                return;
        }
        // Catch up after a late wake-up, but never flood the source after a long stall.
        if (steady_clock::now() - due > milliseconds(500))
            due = steady_clock::now();
        due += period;
        std::lock_guard lock(m_mutex);
        if (!nextChunk(chunk))
            continue;
        // Nobody reading (the pipe is full) or the source is gone: the chunk is lost,
        // as sound is when no one records it. Chunks are below PIPE_BUF, so a write
        // is all or nothing and frames stay aligned.
        [[maybe_unused]] const ssize_t n = ::write(m_fd, chunk.constData(), size_t(chunk.size()));
    }
}

} // namespace dovrane::test
