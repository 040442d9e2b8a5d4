// The program: by default it hands over to the window program beside it; with
// --headless, or where there is no screen, it runs the station on a plain event
// loop, with no widget or window system library loaded.

#include "ErrorReporter.h"
#include "JournalLog.h"
#include "ServiceNotifier.h"
#include "SignalWatcher.h"
#include "Station.h"
#include "SystemParts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <systemd/sd-daemon.h>
#include <unistd.h>
#include <vector>

Q_LOGGING_CATEGORY(lcMain, "dovrane.main")

namespace {

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
    const QString beside = dir.filePath(QStringLiteral("dovrane-gui"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(dir.filePath(QStringLiteral(DOVRANE_GUI_FROM_BINDIR)));
}

int runHeadless(QCoreApplication& app)
{
    dovrane::SystemParts parts;
    dovrane::Station station(parts.services());
    // What the window program shows in its error window goes to standard error,
    // and so to the journal under systemd, as errors.
    QObject::connect(&station.errors(), &dovrane::ErrorReporter::reported, &station,
                     [](const QString& message) { dovrane::JournalLog::write(SD_ERR, message); });
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
    station.start();
    notifier.ready();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Dovrane"));
    QCoreApplication::setApplicationVersion(programVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Watches a sound-card input for dead air and raises the alarm."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without any window; failures go to standard error, every line "
                       "with its syslog priority (<3> error, <4> warning, <6> info)."));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep the data files and logs in <dir> (as DOVRANE_DATA_DIR does)."),
        QStringLiteral("dir"));
    parser.addOptions({headless, dataDir});
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
