#pragma once

#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace dovrane {

class AboutWindow;
class AccountWindow;
class AddressBookWindow;
class AlarmLog;
class AlarmLogsWindow;
class AlarmMailer;
class AudioInput;
class CallListWindow;
class ConnectionWindow;
class ErrorWindowHost;
class LevelMeter;
class LevelScale;
class MailTransport;
class PagerDialer;
class PreferencesWindow;
class SerialPort;
class SilenceMonitor;
class StartupLoader;
struct AddressBookListPosition;

/// The parts of the outside world the main window works with. main() hands in the
/// real ones; tests hand in fakes.
struct Services
{
    Clock& clock;
    AudioInput& audio;
    SerialPort& serial;
    MailTransport& mail;
    DataPaths paths;
    /// A second, never-started input for windows that only list the devices.
    std::function<std::unique_ptr<AudioInput>()> makeDeviceLister;
};

/// "Dovrane", the window that lives for the whole run. It owns the monitoring logic
/// and wires it to its controls; the logic itself lives in plain classes.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(AppState& state, Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    void LoadDataFiles();
    /// Reads the input device, the silence delay and the threshold (once, at start).
    void LoadParams();

    void StartSensor();
    void StopSensor();
    /// Pages the call list; called by the alarm when "Send Page" is chosen.
    void StartCallSequence();
    /// Sends MailSubject/MailBody to the qualifying address book entries.
    void SendMail();

    [[nodiscard]] AppState& state() { return m_state; }
    /// The silence delay and threshold read at start-up (kept by the monitor).
    [[nodiscard]] qint16 alarmDelay() const;
    [[nodiscard]] qint32 threshold() const;
    [[nodiscard]] ErrorReporter& errors() { return m_errors; }
    [[nodiscard]] ErrorWindowHost& errorWindow() { return *m_errorWindow; }
    [[nodiscard]] AlarmLog& alarmLog() { return *m_alarmLog; }

    /// Closes every open data file; the program then ends.
    void closeDataFiles();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    // Each subsystem connects its logic to the controls and menu items here.
    void wireSensor();
    void wirePager();
    void wireMail();
    void wireSettingsWindows();
    void wireViewerWindows();

    /// Shows the single instance of an editor window, creating it when needed and
    /// bringing it to the front when it is already open.
    template <typename Window, typename... Args>
    void showSingle(QPointer<Window>& slot, Args&&... args);

    AppState& m_state;
    Services m_services;
    ErrorReporter m_errors;
    ErrorWindowHost* m_errorWindow = nullptr;
    AlarmLog* m_alarmLog = nullptr;
    std::unique_ptr<StartupLoader> m_loader;

    QPushButton* m_cmdStart = nullptr;
    QPushButton* m_cmdStop = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_lblClock = nullptr;
    QLabel* m_label3 = nullptr;
    QWidget* m_shape1 = nullptr;
    LevelMeter* m_meterLeft = nullptr;
    LevelMeter* m_meterRight = nullptr;
    LevelScale* m_scale = nullptr;

    QAction* m_mnuExit = nullptr;
    QAction* m_mnuMyAccount = nullptr;
    QAction* m_mnuMyAddressBook = nullptr;
    QAction* m_mnuCallList = nullptr;
    QAction* m_mnuMyConnection = nullptr;
    QAction* m_mnuPreferences = nullptr;
    QAction* m_mnuAlarmLogs = nullptr;
    QAction* m_mnuAbout = nullptr;

    // sensor
    SilenceMonitor* m_monitor = nullptr;

    // pager
    PagerDialer* m_pagerDialer = nullptr;
    QPointer<CallListWindow> m_frmCallList;
    QPointer<ConnectionWindow> m_frmMyConnection;

    // mail
    AlarmMailer* m_mailer = nullptr;
    QPointer<AddressBookWindow> m_frmAddressBook;
    /// Where Apply left the address book list; kept for the whole run.
    std::unique_ptr<AddressBookListPosition> m_addressBookPosition;

    // settings windows
    QPointer<PreferencesWindow> m_frmDVPreferences;
    QPointer<AccountWindow> m_frmMyAccount;

    // viewer windows
    QPointer<AlarmLogsWindow> m_frmAlarmLogs;
    QPointer<AboutWindow> m_frmAbout;
};

template <typename Window, typename... Args>
void MainWindow::showSingle(QPointer<Window>& slot, Args&&... args)
{
    if (!slot) {
        slot = new Window(std::forward<Args>(args)...);
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
}

} // namespace dovrane
