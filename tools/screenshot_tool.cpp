// Pictures of every window of the real program, for the documentation.
//
//   dovrane_screenshots --out DIR [--silence-command CMD] [--timeout SECONDS]
//
// It builds the main window exactly as the program does (real sound input, serial
// port and mail program, data folder from DOVRANE_DATA_DIR), waits until the
// weekly schedule has started monitoring and the meters move, saves the main
// window, runs CMD (which should silence the input) and saves it again once the
// alarm light is on. Then it opens every window from the menu and saves each one,
// and finally removes the log folder and presses Stop, so that the error window
// shows the failed log write. Windows are saved without their frames.

#include "AlarmSuspension.h"
#include "ApplicationIdentity.h"
#include "MainWindow.h"
#include "SilenceMonitor.h"
#include "SystemParts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTextStream>
#include <QThread>
#include <QWidget>

#include <functional>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Lets the event loop run (timers, sound buffers, painting) for a while.
void pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (done())
            return true;
        pump(50);
    }
    return done();
}

QWidget* topLevel(const QString& name)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name && w->isVisible())
            return w;
    }
    return nullptr;
}

class Shooter
{
public:
    Shooter(QString dir, int timeoutMs) : m_dir(std::move(dir)), m_timeoutMs(timeoutMs) {}

    bool save(QWidget* window, const QString& name)
    {
        if (!window) {
            out() << "MISSING " << name << Qt::endl;
            ++m_missing;
            return false;
        }
        window->raise();
        pump(400);
        const QString path = QDir(m_dir).filePath(name + QStringLiteral(".png"));
        const bool ok = window->grab().save(path);
        out() << (ok ? "SAVED " : "FAILED ") << path << Qt::endl;
        if (!ok)
            ++m_missing;
        return ok;
    }

    /// Saves the window under a plain title bar showing its title (Xvfb has no
    /// window manager to draw one).
    bool saveWithTitle(QWidget* window, const QString& name)
    {
        window->raise();
        pump(400);
        const QPixmap body = window->grab();
        constexpr int kBar = 28;
        QPixmap whole(body.width(), body.height() + kBar);
        whole.fill(QColor(60, 63, 70));
        QPainter p(&whole);
        p.setPen(Qt::white);
        QFont f = window->font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, body.width(), kBar), Qt::AlignCenter, window->windowTitle());
        p.drawPixmap(0, kBar, body);
        p.end();
        const QString path = QDir(m_dir).filePath(name + QStringLiteral(".png"));
        const bool ok = whole.save(path);
        out() << (ok ? "SAVED " : "FAILED ") << path << Qt::endl;
        m_missing += ok ? 0 : 1;
        return ok;
    }

    /// Opens a window from the menu item and saves it.
    QWidget* open(QWidget* main, const char* action, const char* window, const QString& name)
    {
        auto* item = main->findChild<QAction*>(QString::fromLatin1(action));
        if (!item || !item->isEnabled()) {
            out() << "MISSING " << name << " (menu item " << action << " not available)"
                  << Qt::endl;
            ++m_missing;
            return nullptr;
        }
        item->trigger();
        const QString windowName = QString::fromLatin1(window);
        waitUntil([&] { return topLevel(windowName) != nullptr; }, m_timeoutMs);
        QWidget* w = topLevel(windowName);
        save(w, name);
        return w;
    }

    [[nodiscard]] int missing() const { return m_missing; }
    [[nodiscard]] int timeoutMs() const { return m_timeoutMs; }

private:
    QString m_dir;
    int m_timeoutMs;
    int m_missing = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    dovrane::setApplicationIdentity();

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Output folder."),
                                       QStringLiteral("dir"));
    const QCommandLineOption silenceOption(QStringLiteral("silence-command"),
                                           QStringLiteral("Shell command that silences the input."),
                                           QStringLiteral("cmd"));
    const QCommandLineOption loseOption(QStringLiteral("lose-command"),
                                        QStringLiteral("Shell command that removes the input."),
                                        QStringLiteral("cmd"));
    const QCommandLineOption restoreOption(QStringLiteral("restore-command"),
                                           QStringLiteral("Shell command that brings it back."),
                                           QStringLiteral("cmd"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Seconds to wait for each state."),
                                           QStringLiteral("s"), QStringLiteral("40"));
    parser.addOptions({outOption, silenceOption, loseOption, restoreOption, timeoutOption});
    parser.process(app);
    if (!parser.isSet(outOption)) {
        out() << "--out is required" << Qt::endl;
        return 2;
    }
    QDir().mkpath(parser.value(outOption));
    Shooter shooter(parser.value(outOption), parser.value(timeoutOption).toInt() * 1000);

    dovrane::SystemParts parts;
    dovrane::MainWindow window(parts.services());
    window.resize(window.sizeHint().expandedTo(QSize(460, 0)));
    window.show();

    // The start-up message (if any) is not what the pictures are about.
    if (QWidget* error = topLevel(QStringLiteral("frmError")))
        error->close();

    // Before the schedule's start: off duty.
    pump(1500);
    shooter.save(&window, QStringLiteral("main-idle"));

    if (!waitUntil([&] { return window.station().monitor().isRunning(); }, shooter.timeoutMs())) {
        out() << "monitoring did not start (check the schedule in DVParams.dat)" << Qt::endl;
        return 1;
    }
    pump(2500);
    shooter.save(&window, QStringLiteral("main-monitoring"));

    // Every tab of the settings as it opens; then the detectors page after measuring
    // the programme, while the tone still plays.
    if (QWidget* settings = shooter.open(&window, "mnuSettings", "frmSettings",
                                         QStringLiteral("settings-remote-status"))) {
        auto* tabs = settings->findChild<QTabWidget*>(QStringLiteral("tabSettings"));
        for (int i = 0; tabs && i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            pump(200);
            shooter.save(settings, QStringLiteral("settings-") +
                                       tabs->tabText(i).toLower().replace(u' ', u'-'));
        }
        if (auto* page = settings->findChild<QWidget*>(QStringLiteral("pageDetectors"));
            tabs && page)
            tabs->setCurrentWidget(page);
        auto* mode = settings->findChild<QComboBox*>(QStringLiteral("cboMeasure"));
        auto* measure = settings->findChild<QPushButton*>(QStringLiteral("cmdMeasure"));
        if (mode && measure) {
            mode->setCurrentIndex(1);
            measure->click();
            waitUntil([&] { return measure->isEnabled(); }, shooter.timeoutMs());
            pump(300);
            shooter.save(settings, QStringLiteral("settings-detectors"));
        }
        // Chat and push, filled in on the page only: nothing is saved or sent.
        if (auto* page = settings->findChild<QWidget*>(QStringLiteral("pagePresets"));
            tabs && page) {
            tabs->setCurrentWidget(page);
            for (const char* group : {"grpTelegram", "grpNtfy", "grpSlack"})
                if (auto* box = page->findChild<QGroupBox*>(QLatin1String(group)))
                    box->setChecked(true);
            const std::pair<const char*, const char*> entries[]{
                {"txtTelegramBotToken", "123456789:AAFh2kq8Xc"},
                {"txtTelegramChatId", "-1001234567890"},
                {"txtNtfyUrl", "https://ntfy.sh/radio-north-alarms"},
                {"txtSlackUrl", "https://hooks.slack.com/services/T0001/B0001/XXXX"}};
            for (auto [name, text] : entries)
                if (auto* edit = page->findChild<QLineEdit*>(QLatin1String(name)))
                    edit->setText(QLatin1String(text));
            shooter.save(settings, QStringLiteral("settings-presets"));
        } else {
            shooter.save(nullptr, QStringLiteral("settings-presets"));
        }
        settings->close();
        pump(300);
    }

    if (parser.isSet(silenceOption)) {
        QProcess::execute(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), parser.value(silenceOption)});
        auto* light = window.findChild<QWidget*>(QStringLiteral("Shape1"));
        if (light && waitUntil([&] { return light->isVisible(); }, shooter.timeoutMs())) {
            pump(1200);
            shooter.saveWithTitle(&window, QStringLiteral("main-alarm"));
        } else {
            out() << "MISSING main-alarm (the alarm light did not come on)" << Qt::endl;
        }
    }
    auto* state = window.findChild<QLabel*>(QStringLiteral("lblState"));
    const auto stateIs = [state](const char* text) {
        return state && state->text() == QLatin1String(text);
    };
    if (parser.isSet(loseOption) && parser.isSet(restoreOption)) {
        QProcess::execute(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), parser.value(loseOption)});
        if (waitUntil([&] { return stateIs("INPUT LOST"); }, shooter.timeoutMs())) {
            pump(500);
            shooter.save(&window, QStringLiteral("main-input-lost"));
        } else {
            out() << "MISSING main-input-lost" << Qt::endl;
        }
        QProcess::execute(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), parser.value(restoreOption)});
        waitUntil([&] { return !stateIs("INPUT LOST"); }, shooter.timeoutMs());
    }
    // as Alarms > Suspend alarms until ... does, once the alarm has ended
    window.station().suspension().suspendFor(1800, QStringLiteral("the window"));
    if (waitUntil([&] { return stateIs("SUSPENDED"); }, shooter.timeoutMs())) {
        pump(500);
        shooter.save(&window, QStringLiteral("main-suspended"));
    } else {
        out() << "MISSING main-suspended" << Qt::endl;
    }
    window.station().suspension().resume(QStringLiteral("the window"));
    // Stopped by hand inside the scheduled window.
    if (auto* stop = window.findChild<QPushButton*>(QStringLiteral("cmdStop"))) {
        stop->click();
        if (waitUntil([&] { return stateIs("NOT MONITORING (scheduled window)"); },
                      shooter.timeoutMs())) {
            pump(300);
            shooter.save(&window, QStringLiteral("main-not-monitoring"));
        } else {
            out() << "MISSING main-not-monitoring" << Qt::endl;
        }
    }

    auto close = [](QWidget* w) {
        if (w)
            w->close();
        pump(300);
    };
    close(
        shooter.open(&window, "mnuPreferences", "frmDVPreferences", QStringLiteral("preferences")));
    close(shooter.open(&window, "mnuMyAccount", "frmMyAccount", QStringLiteral("my-account")));
    close(shooter.open(&window, "mnuMyAddressBook", "frmAddressBook",
                       QStringLiteral("address-book")));
    close(shooter.open(&window, "mnuCallList", "frmCallList", QStringLiteral("call-list")));
    close(
        shooter.open(&window, "mnuMyConnection", "frmMyConnection", QStringLiteral("connection")));
    if (QWidget* logs = shooter.open(&window, "mnuAlarmLogs", "frmAlarmLogs",
                                     QStringLiteral("alarm-logs-list"))) {
        if (auto* ok = logs->findChild<QPushButton*>(QStringLiteral("cmdOk"))) {
            ok->click();
            pump(300);
            shooter.save(logs, QStringLiteral("alarm-logs-log"));
        }
        close(logs);
    }
    close(shooter.open(&window, "mnuAbout", "frmAbout", QStringLiteral("about")));

    // A real failure for the error window: the log folder vanishes and the
    // "Manual Stop Sensor" line cannot be written.
    QDir(parts.paths.logsDir()).removeRecursively();
    if (auto* stop = window.findChild<QPushButton*>(QStringLiteral("cmdStop")))
        stop->click();
    waitUntil([] { return topLevel(QStringLiteral("frmError")) != nullptr; }, shooter.timeoutMs());
    shooter.save(topLevel(QStringLiteral("frmError")), QStringLiteral("error-message"));

    window.station().shutdown();
    out() << (shooter.missing() ? "INCOMPLETE " : "DONE ") << shooter.missing() << " missing"
          << Qt::endl;
    return shooter.missing() ? 1 : 0;
}
