#pragma once

#include "Station.h"

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
class AlarmSound;
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
class SettingsPage;
class SettingsWindow;
class SilenceMonitor;
class StartupLoader;
struct AddressBookListPosition;

/// "Dovrane", the window that lives for the whole run. It holds the station and
/// only connects what the station says to its controls and its controls to the
/// station.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// Ends the run without asking, as a signal from the system does.
    void endRun();

    [[nodiscard]] Station& station() { return m_station; }
    [[nodiscard]] ErrorWindowHost& errorWindow() { return *m_errorWindow; }

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
    /// The state line, the title and the meters from what the station says now.
    void showState();
    /// The named inputs, one line each: name, state, level, silence.
    void showInputs();
    /// Asks before a close would end monitoring; yes logs the stop and closes.
    void askBeforeClosing();
    /// A fresh page for each section of Dovrane's own settings, in tab order.
    [[nodiscard]] QList<SettingsPage*> makeSettingsPages();

    /// Shows the single instance of an editor window, creating it when needed and
    /// bringing it to the front when it is already open.
    template <typename Window, typename... Args>
    void showSingle(QPointer<Window>& slot, Args&&... args);

    Station m_station;
    ErrorWindowHost* m_errorWindow = nullptr;

    QPushButton* m_cmdStart = nullptr;
    QPushButton* m_cmdStop = nullptr;
    QPushButton* m_cmdAcknowledge = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_lblClock = nullptr;
    QLabel* m_label3 = nullptr;
    QLabel* m_lblSuspended = nullptr;
    QLabel* m_lblInputs = nullptr;
    QLabel* m_lblState = nullptr;
    QString m_shownState;
    QString m_lastCaption;
    bool m_closeAgreed = false;
    AlarmSound* m_alarmSound = nullptr;
    QWidget* m_shape1 = nullptr;
    LevelMeter* m_meterLeft = nullptr;
    LevelMeter* m_meterRight = nullptr;
    LevelScale* m_scale = nullptr;

    QAction* m_mnuExit = nullptr;
    QAction* m_mnuMyAccount = nullptr;
    QAction* m_mnuMyAddressBook = nullptr;
    QAction* m_mnuCallList = nullptr;
    QAction* m_mnuMyConnection = nullptr;
    QAction* m_mnuSettings = nullptr;
    QAction* m_mnuPreferences = nullptr;
    QAction* m_mnuAlarmLogs = nullptr;
    QAction* m_mnuAbout = nullptr;

    // pager
    QPointer<CallListWindow> m_frmCallList;
    QPointer<ConnectionWindow> m_frmMyConnection;

    // mail
    QPointer<AddressBookWindow> m_frmAddressBook;
    /// Where Apply left the address book list; kept for the whole run.
    std::unique_ptr<AddressBookListPosition> m_addressBookPosition;

    // settings windows
    QPointer<PreferencesWindow> m_frmDVPreferences;
    QPointer<AccountWindow> m_frmMyAccount;
    QPointer<SettingsWindow> m_frmSettings;

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
