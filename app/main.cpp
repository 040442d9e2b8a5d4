// The program: by default it hands over to the window program beside it; with
// --headless, or where there is no screen, it runs the station on a plain event
// loop, with no Qt widget or GUI library loaded. --check only reads the
// data folder and says what is wrong with it.

#include "ControlServer.h"
#include "DataFolderCheck.h"
#include "ErrorReporter.h"
#include "FileLimit.h"
#include "InputProbe.h"
#include "InstanceLock.h"
#include "JournalLog.h"
#include "RecordingAnalysis.h"
#include "SendmailTransport.h"
#include "ServiceNotifier.h"
#include "Settings.h"
#include "SettingsSections.h"
#include "SignalWatcher.h"
#include "Station.h"
#include "StationFile.h"
#include "StreamSource.h"
#include "SystemAudioInput.h"
#include "SystemParts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <systemd/sd-daemon.h>
#include <unistd.h>
#include <vector>

Q_LOGGING_CATEGORY(lcMain, "dovrane.main")

namespace {

/// How long --check waits for the sound server to list the inputs.
constexpr int kInputListWaitMs = 3000;

QString programVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(DOVRANE_VERSION_MAJOR)
        .arg(DOVRANE_VERSION_MINOR)
        .arg(DOVRANE_VERSION_PATCH);
}

bool hasScreen()
{
    // A platform chosen by hand (offscreen, vnc, ...) needs no display.
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

/// The window program: beside this one in the build folder, in libexec when
/// installed.
QString windowProgram()
{
    const QString here = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QDir dir = QFileInfo(here).absoluteDir();
    QString beside = dir.filePath(QStringLiteral("dovrane-gui"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(dir.filePath(QStringLiteral(DOVRANE_GUI_FROM_BINDIR)));
}

int runHeadless(QCoreApplication& app)
{
    dovrane::InstanceLock lock(dovrane::DataPaths::fromEnvironment());
    if (!lock.acquire()) {
        dovrane::JournalLog::write(SD_ERR, lock.errorString());
        return 1;
    }
    dovrane::SystemParts parts;
    dovrane::Station station(parts.services());
    // What the window program shows in its error window, and every alarm, fault,
    // end and acknowledgement, goes to standard error, and so to the journal under
    // systemd, each with its priority.
    QObject::connect(
        &station, &dovrane::Station::journalLine, &station,
        [](int priority, const QString& text) { dovrane::JournalLog::write(priority, text); });
    dovrane::ServiceNotifier notifier(station);
    dovrane::SignalWatcher watcher;
    QObject::connect(&watcher, &dovrane::SignalWatcher::terminateRequested, &app, [&] {
        notifier.stopping();
        station.shutdown();
        QCoreApplication::exit(0);
    });
    QObject::connect(&watcher, &dovrane::SignalWatcher::reloadRequested, &station, [&] {
        notifier.reloading();
        station.reload();
        notifier.ready();
    });
    // Unattended, a restart inside a scheduled window goes on monitoring.
    station.start(true);
    notifier.ready();
    return QCoreApplication::exec();
}

/// Runs then(inputs) once the sound server has listed the inputs, or after a short
/// while without a list: the list comes in a moment after the connection.
int withInputList(const std::function<int(const dovrane::AudioInput&)>& then)
{
    const std::unique_ptr<dovrane::AudioInput> input = dovrane::makeSystemAudioInput();
    const QDeadlineTimer deadline(kInputListWaitMs);
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, input.get(), [&] {
        if (input->deviceCount() == 0 && !deadline.hasExpired())
            return;
        poll.stop();
        const int status = then(*input);
        std::fflush(stdout);
        QCoreApplication::exit(status);
    });
    poll.start();
    return QCoreApplication::exec();
}

/// Prints the data folder check and returns 0 when all is well.
int runCheck(const dovrane::AudioInput& input)
{
    const int count = input.deviceCount();
    const dovrane::DataFolderCheck check(dovrane::DataPaths::fromEnvironment(),
                                         count > 0 ? std::optional(count) : std::nullopt,
                                         dovrane::SendmailTransport::findProgram());
    const QList<dovrane::DataFolderCheck::Finding> findings = check.run();
    const bool withSettings = QFileInfo::exists(check.paths().settingsFile());
    for (const QString& line : dovrane::DataFolderCheck::lines(findings, withSettings))
        std::printf("%s\n", line.toLocal8Bit().constData());
    return dovrane::DataFolderCheck::exitCode(findings);
}

/// Prints "N<tab>name" for every sound input, N being the number Preferences
/// stores for it; 1 when there is none.
int listInputs(const dovrane::AudioInput& input)
{
    for (int i = 0; i < input.deviceCount(); ++i)
        std::printf("%d\t%s\n", i, input.deviceName(i).toLocal8Bit().constData());
    return input.deviceCount() > 0 ? 0 : 1;
}

/// Listens to a stream for a while: prints what it is and a peak line per half
/// second; 0 when audio arrived, 1 with the reason on standard error when not.
int probeInput(const QString& source, int seconds)
{
    const std::unique_ptr<dovrane::AudioInput> made = dovrane::makeStreamSource(source);
    dovrane::AudioInput& input = *made;
    // Without the decoder module there is no stream, and the probe says why.
    auto* stream = qobject_cast<dovrane::StreamSource*>(made.get());
    dovrane::SystemClock clock;
    dovrane::InputProbe probe(input, clock);
    QObject::connect(&probe, &dovrane::InputProbe::described, &probe, [](const QString& text) {
        std::printf("%s\n", qPrintable(text));
        std::fflush(stdout);
    });
    QObject::connect(&probe, &dovrane::InputProbe::measured, &probe,
                     [](const dovrane::InputProbe::Levels& levels) {
                         std::printf("%s\n", qPrintable(dovrane::InputProbe::levelText(levels)));
                         std::fflush(stdout);
                     });
    if (stream) {
        QObject::connect(stream, &dovrane::StreamSource::streamDown, &probe,
                         [](const QString& why) {
                             std::printf("down: %s\n", qPrintable(why));
                             std::fflush(stdout);
                         });
        QObject::connect(stream, &dovrane::StreamSource::formatChanged, &probe,
                         [](const QString& text) {
                             std::printf("format changed: %s\n", qPrintable(text));
                             std::fflush(stdout);
                         });
    }
    QObject::connect(&probe, &dovrane::InputProbe::finished, &probe, [&](bool reached) {
        if (reached && stream)
            std::printf("buffered at start: %d ms\n", stream->bufferedAtStartMs());
        if (stream && !stream->title().isEmpty())
            std::printf("title: %s\n", qPrintable(stream->title()));
        if (!reached)
            std::fprintf(stderr, "%s: %s\n", qPrintable(input.deviceName(0)),
                         qPrintable(probe.why()));
        std::fflush(stdout);
        QCoreApplication::exit(reached ? 0 : 1);
    });
    QTimer::singleShot(0, &probe, [&] { probe.start(seconds); });
    return QCoreApplication::exec();
}

/// export [--with-password] [FILE], import FILE, set KEY VALUE: the station as a
/// text file. Nothing when the words are none of these.
std::optional<int> runStationFile(const QStringList& words)
{
    const dovrane::StationFile station(dovrane::DataPaths::fromEnvironment());
    const QString verb = words.value(0);
    if (verb == QLatin1String("export")) {
        QStringList rest = words.mid(1);
        const bool secrets = rest.removeAll(QStringLiteral("--with-password")) > 0;
        const QByteArray text = station.exportText(secrets);
        if (rest.isEmpty()) {
            std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
            return 0;
        }
        QSaveFile file(rest[0]);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(rest[0]), qPrintable(file.errorString()));
            return 1;
        }
        if (secrets)
            QFile::setPermissions(rest[0], QFile::ReadOwner | QFile::WriteOwner);
        return 0;
    }
    if (verb == QLatin1String("import") && words.size() == 2) {
        QFile file(words[1]);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(words[1]), qPrintable(file.errorString()));
            return 1;
        }
        const auto problems = station.import(file.readAll());
        for (const auto& problem : problems)
            std::fprintf(stderr, "%s:%d: %s\n", qPrintable(words[1]), problem.line,
                         qPrintable(problem.text));
        if (!problems.isEmpty()) {
            std::fprintf(stderr, "nothing was written\n");
            return 1;
        }
        std::printf("written; a running Dovrane reads them on reload (systemctl --user reload "
                    "dovrane, or SIGHUP)\n");
        return 0;
    }
    if (verb == QLatin1String("set") && words.size() == 3) {
        const QString why = station.set(words[1], words[2]);
        if (!why.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(why));
            return 1;
        }
        return 0;
    }
    if (verb == QLatin1String("export") || verb == QLatin1String("import") ||
        verb == QLatin1String("set")) {
        std::fprintf(stderr, "usage: dovrane export [--with-password] [FILE] | import FILE | "
                             "set KEY VALUE\n");
        return 2;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    dovrane::raiseOpenFileLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Dovrane"));
    QCoreApplication::setApplicationVersion(programVersion());
    // "dovrane analyse FILE...": the station over recordings, see RecordingAnalysis.
    if (app.arguments().value(1) == QLatin1String("analyse"))
        return dovrane::RecordingAnalysis::commandLine(app.arguments().mid(2), stdout);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Watches a sound-card input for dead air and raises the alarm.\n\n"
                       "Set a studio up without the window:\n"
                       "  dovrane export [--with-password] [FILE]   the whole station as text\n"
                       "  dovrane import FILE                       write the data files from it\n"
                       "  dovrane set KEY VALUE                     delay, threshold, input, "
                       "action, or a weekday (\"monday\" \"on 06:00:00-22:00:00\")"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral(
            "Run without any window; failures go to standard error, every line "
            "with its syslog priority (<3> error, <4> warning and alarms, <5> their ends, <6> "
            "info)."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Check the data folder, print NAME: OK or what is wrong for each data "
                       "file and the log folder, and exit: 0 when all is well, 1 with problems, "
                       "2 when Dovrane.ini cannot be read. Writes and starts nothing."));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep the data files and logs in <dir> (as DOVRANE_DATA_DIR does)."),
        QStringLiteral("dir"));
    const QCommandLineOption listInputsOption(
        QStringLiteral("list-inputs"),
        QStringLiteral("Print the sound inputs with the numbers Preferences stores for them, "
                       "and exit."));
    const QCommandLineOption ack(
        QStringLiteral("ack"),
        QStringLiteral("Acknowledge the alarm of the Dovrane running on this data folder: its "
                       "repeated notifications stop. Exits 0 when it took it."));
    const QCommandLineOption suspend(
        QStringLiteral("suspend"),
        QStringLiteral("Suspend the alarms of the Dovrane running on this data folder for "
                       "<duration> (90s, 30m, 2h, 1h30m) or \"until 2026-12-24T18:00\"; "
                       "prints when they come back."),
        QStringLiteral("duration"));
    const QCommandLineOption resume(
        QStringLiteral("resume"),
        QStringLiteral("Bring back the suspended alarms of the Dovrane running on this data "
                       "folder."));
    const QCommandLineOption reference(
        QStringLiteral("settings-reference"),
        QStringLiteral("Print the keys of Dovrane.ini as the README's markdown tables, and exit."));

    const QCommandLineOption startOption(
        QStringLiteral("start"),
        QStringLiteral("Start monitoring in the Dovrane running on this data folder, as its Start "
                       "button does. Exits 0 when it started."));
    const QCommandLineOption stopOption(
        QStringLiteral("stop"),
        QStringLiteral("Stop monitoring in the Dovrane running on this data folder, as its Stop "
                       "button does. Exits 0 when it stopped."));
    const QCommandLineOption probeOption(
        QStringLiteral("probe-input"),
        QStringLiteral("Listen to <source> (an http, https, HLS or srt address, an SDP file of an "
                       "RTP stream, a sound file) for a few seconds: print what it is and its peak "
                       "levels every half second. Exits 0 when audio arrived, 1 when not."),
        QStringLiteral("source"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("How long --probe-input listens (5)."),
                                           QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption inputOption(
        QStringLiteral("input"),
        QStringLiteral("With --ack, --suspend or --resume: only the named input <name> "
                       "([input.NAME] of Dovrane.ini)."),
        QStringLiteral("name"));
    parser.addOptions({headless, check, listInputsOption, dataDir, ack, suspend, resume,
                       startOption, stopOption, reference, inputOption, probeOption,
                       secondsOption});
    // Options of the window system (-platform, -display, ...) belong to the window
    // program; they are passed on untouched.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.isSet(dataDir))
        qputenv("DOVRANE_DATA_DIR", QDir(parser.value(dataDir)).absolutePath().toLocal8Bit());

    const QString command = parser.isSet(ack)           ? QStringLiteral("ack")
                            : parser.isSet(suspend)     ? QStringLiteral("suspend ")
                            : parser.isSet(resume)      ? QStringLiteral("resume")
                            : parser.isSet(startOption) ? QStringLiteral("start")
                            : parser.isSet(stopOption)  ? QStringLiteral("stop")
                                                        : QString();
    if (!command.isEmpty()) {
        QString line = parser.isSet(suspend) ? command + parser.value(suspend) : command;
        if (parser.isSet(inputOption))
            line = line.section(u' ', 0, 0) + QStringLiteral(" input=") +
                   parser.value(inputOption).simplified().remove(u' ') + u' ' +
                   line.section(u' ', 1);
        QString answer;
        const bool done = dovrane::ControlServer::call(
            dovrane::DataPaths::fromEnvironment().file(QStringLiteral("dovrane.sock")), line,
            &answer);
        std::fprintf(done ? stdout : stderr, "%s\n", qPrintable(answer));
        return done ? 0 : 1;
    }
    if (parser.isSet(reference)) {
        dovrane::Settings settings(QString{});
        dovrane::declareSections(settings);
        std::printf("%s", qPrintable(settings.reference()));
        return 0;
    }
    // What these print is the answer; the sound server's and Qt's chatter is not.
    if (parser.isSet(check) || parser.isSet(listInputsOption))
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    if (parser.isSet(probeOption)) {
        // The reason is printed once, at the end.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n"
                                                        "dovrane.stream.warning=false"));
        bool valid = false;
        const int seconds = parser.value(secondsOption).toInt(&valid);
        if (!valid || seconds < 1 || seconds > 3600) {
            std::fprintf(stderr, "--seconds: a whole number from 1 to 3600\n");
            return 2;
        }
        return probeInput(parser.value(probeOption), seconds);
    }
    if (const std::optional<int> status = runStationFile(parser.positionalArguments()))
        return *status;
    if (parser.isSet(check))
        return withInputList(runCheck);
    if (parser.isSet(listInputsOption))
        return withInputList(listInputs);
    if (parser.isSet(headless)) {
        dovrane::JournalLog::installMessageHandler();
        return runHeadless(app);
    }
    if (!hasScreen()) {
        dovrane::JournalLog::installMessageHandler();
        qCWarning(lcMain) << "no display (DISPLAY and WAYLAND_DISPLAY are not set); running "
                             "headless";
        return runHeadless(app);
    }

    const QByteArray gui = windowProgram().toLocal8Bit();
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    args[0] = const_cast<char*>(gui.constData());
    ::execv(gui.constData(), args.data());
    std::fprintf(stderr, "dovrane: cannot start the window program %s: %s\n", gui.constData(),
                 std::strerror(errno));
    return 1;
}
