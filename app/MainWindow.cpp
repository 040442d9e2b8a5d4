#include "MainWindow.h"

#include "NamedInputs.h"
#include "NamedInputWatch.h"

#include "AboutWindow.h"
#include "Account.h"
#include "AccountWindow.h"
#include "AddressBookWindow.h"
#include "AlarmLight.h"
#include "AlarmLog.h"
#include "AlarmLogsWindow.h"
#include "AlarmMailer.h"
#include "AlarmSound.h"
#include "AlarmsPage.h"
#include "AlarmSuspension.h"
#include "AudioInput.h"
#include "CallListWindow.h"
#include "ConnectionWindow.h"
#include "DataFiles.h"
#include "DetectorsPage.h"
#include "ErrorWindow.h"
#include "InputsPage.h"
#include "LevelMeter.h"
#include "NamedInputs.h"
#include "NamedInputWatch.h"
#include "NocPage.h"
#include "Notifications.h"
#include "NotifyPage.h"
#include "PagerDialer.h"
#include "PreferencesWindow.h"
#include "PresetsPage.h"
#include "Settings.h"
#include "SettingsPage.h"
#include "SettingsWindow.h"
#include "SilenceMonitor.h"
#include "StatusPage.h"
#include "StatusReport.h"
#include "StatusService.h"
#include "SuspendMenu.h"
#include "WeeklySchedule.h"
#include "WindowParts.h"
#include "WindowSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>

namespace dovrane {

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent), m_station(std::move(services))
{
    setObjectName(QStringLiteral("mnuMenu"));
    setWindowTitle(QStringLiteral("Dovrane"));

    m_errorWindow = new ErrorWindowHost(this);
    connect(&m_station.errors(), &ErrorReporter::reported, m_errorWindow,
            &ErrorWindowHost::showMessage);

    buildControls();
    buildMenu();
    addKeyboardConventions(this, menuBar(), false);
    wireSensor();
    wirePager();
    wireMail();
    wireSettingsWindows();
    wireViewerWindows();

    m_station.start();
    showState(); // with the data files read
}

MainWindow::~MainWindow()
{
    m_station.shutdown();
}

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    m_meterLeft = new LevelMeter(central);
    m_meterLeft->setObjectName(QStringLiteral("MMLevelX1"));
    m_meterRight = new LevelMeter(central);
    m_meterRight->setObjectName(QStringLiteral("MMLevelX2"));
    m_scale = new LevelScale(central);
    m_scale->setObjectName(QStringLiteral("MMLevelScaleX1"));

    m_lblState = new QLabel(central);
    m_lblState->setObjectName(QStringLiteral("lblState"));
    m_lblState->setAlignment(Qt::AlignCenter);
    m_lblState->setWordWrap(true); // the longest state must not widen the window
    m_lblState->setMinimumHeight(36);

    m_label1 = new QLabel(central);
    m_label1->setObjectName(QStringLiteral("Label1"));
    QFont big = m_label1->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    m_label1->setFont(big);
    m_label1->setMinimumWidth(140);

    m_shape1 = new AlarmLight(central);
    m_shape1->setObjectName(QStringLiteral("Shape1"));
    QSizePolicy keep = m_shape1->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_shape1->setSizePolicy(keep);
    m_shape1->hide();

    m_lblClock = new QLabel(central);
    m_lblClock->setObjectName(QStringLiteral("lblClock"));
    m_label3 = new QLabel(central);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setMinimumWidth(260);

    m_cmdStart = new QPushButton(QStringLiteral("Start"), central);
    m_cmdStart->setObjectName(QStringLiteral("cmdStart"));
    m_cmdStop = new QPushButton(QStringLiteral("Stop"), central);
    m_cmdStop->setObjectName(QStringLiteral("cmdStop"));
    m_cmdAcknowledge = new QPushButton(QStringLiteral("Acknowledge"), central);
    m_cmdAcknowledge->setObjectName(QStringLiteral("cmdAcknowledge"));
    m_cmdAcknowledge->setVisible(false);
    m_cmdClose = new QPushButton(QStringLiteral("Close"), central);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    auto* meters = new QGridLayout;
    meters->addWidget(new QLabel(QStringLiteral("L"), central), 0, 0);
    meters->addWidget(m_meterLeft, 0, 1);
    meters->addWidget(new QLabel(QStringLiteral("R"), central), 1, 0);
    meters->addWidget(m_meterRight, 1, 1);
    meters->addWidget(m_scale, 2, 1);

    auto* silence = new QHBoxLayout;
    silence->addWidget(m_label1);
    silence->addStretch();
    silence->addWidget(m_shape1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdStart);
    buttons->addWidget(m_cmdStop);
    buttons->addWidget(m_cmdAcknowledge);
    buttons->addStretch();
    buttons->addWidget(m_cmdClose);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_lblState);
    layout->addLayout(meters);
    layout->addLayout(silence);
    layout->addWidget(m_lblClock);
    layout->addWidget(m_label3);
    m_lblSuspended = new QLabel(central);
    layout->addWidget(m_lblSuspended);
    // The other inputs, one line each; the meters above stay the main input's.
    m_lblInputs = new QLabel(central);
    m_lblInputs->setObjectName(QStringLiteral("lblInputs"));
    m_lblInputs->setTextFormat(Qt::PlainText);
    m_lblInputs->setFrameShape(QFrame::StyledPanel);
    m_lblInputs->hide();
    layout->addWidget(m_lblInputs);
    layout->addLayout(buttons);
}

void MainWindow::buildMenu()
{
    auto addMenu = [this](const char* name, const QString& caption) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu ? menu->addAction(caption) : menuBar()->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(false); // enabled once its window exists
        return action;
    };

    QMenu* files = addMenu("mnuFiles", QStringLiteral("&Files"));
    m_mnuExit = addItem(files, "mnuExit", QStringLiteral("E&xit"));
    m_mnuExit->setEnabled(true);
    connect(m_mnuExit, &QAction::triggered, this, &QWidget::close);

    QMenu* setup = addMenu("mnuSetup", QStringLiteral("&Setup"));
    m_mnuMyAccount = addItem(setup, "mnuMyAccount", QStringLiteral("My &Account"));
    m_mnuMyAddressBook = addItem(setup, "mnuMyAddressBook", QStringLiteral("My A&ddresse Book"));
    m_mnuCallList = addItem(setup, "mnuCallList", QStringLiteral("My &Call List"));
    m_mnuMyConnection = addItem(setup, "mnuMyConnection", QStringLiteral("My C&onnection"));
    m_mnuPreferences = addItem(setup, "mnuPreferences", QStringLiteral("&Preferences"));
    setup->addSeparator();
    m_mnuSettings = addItem(setup, "mnuSettings", QStringLiteral("Dovrane &Settings"));
    m_mnuAlarmLogs = addItem(nullptr, "mnuAlarmLogs", QStringLiteral("Alarm &Logs"));
    menuBar()->insertMenu(m_mnuAlarmLogs, new SuspendMenu(m_station, m_lblSuspended, this));
    m_mnuAbout = addItem(nullptr, "mnuAbout", QStringLiteral("A&bout"));
}

// ---- sensor ----

namespace {

const QColor kStartIdleColour(0, 128, 0);
const QColor kStartMonitoringColour(128, 255, 128);

// A style sheet rather than the palette: several desktop styles ignore a
// button's palette colour, and the Start button's colour is its state display.
void setBackColour(QPushButton* button, const QColor& colour)
{
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid "
                                         "#505050; border-radius: 3px; padding: 4px 18px; }"
                                         "QPushButton:focus { border: 2px solid #1e5aa8; }"
                                         "QPushButton:pressed { border: 2px inset #303030; }")
                              .arg(colour.name()));
}

} // namespace

void MainWindow::wireSensor()
{
    const SilenceMonitor* monitor = &m_station.monitor();
    setBackColour(m_cmdStart, kStartIdleColour);
    setBackColour(m_cmdStop, Qt::white);
    m_lblClock->setText(clockCaption(m_station.services().clock.now()));

    connect(m_cmdStart, &QPushButton::clicked, &m_station, &Station::startClicked);
    connect(m_cmdStop, &QPushButton::clicked, &m_station, &Station::stopClicked);
    const Notifications* notifications = &m_station.notifications();
    connect(m_cmdAcknowledge, &QPushButton::clicked, &m_station, &Station::acknowledge);
    connect(notifications, &Notifications::awaitingAcknowledgeChanged, m_cmdAcknowledge,
            &QWidget::setVisible);
    connect(monitor, &SilenceMonitor::elapsedTextChanged, m_label1, &QLabel::setText);
    connect(monitor, &SilenceMonitor::clockTextChanged, m_lblClock, &QLabel::setText);
    connect(monitor, &SilenceMonitor::alarmLightChanged, m_shape1, &QWidget::setVisible);
    connect(monitor, &SilenceMonitor::monitoringChanged, this, [this](bool on) {
        setBackColour(m_cmdStart, on ? kStartMonitoringColour : kStartIdleColour);
        if (!on) {
            m_meterLeft->reset();
            m_meterRight->reset();
        }
    });

    // The meters show every buffer as captured, whatever the level test makes of it.
    AudioInput* audio = &m_station.services().audio;
    connect(audio, &AudioInput::bufferReady, this, [this](const QByteArray& buffer) {
        const ChannelPeaks peaks = channelPeaks(buffer);
        m_meterLeft->setPeak(qAbs(int(peaks.left)));
        m_meterRight->setPeak(qAbs(int(peaks.right)));
    });

    // The state line follows every change the station announces, and the clock
    // once a second for the weekly schedule's window.
    m_alarmSound = new AlarmSound(this);
    const auto applyWindowSettings = [this] {
        m_alarmSound->apply(m_station.settings().get<WindowSettings>());
        showState();
    };
    connect(&m_station.settings(), &Settings::changed, this, applyWindowSettings);
    applyWindowSettings();
    connect(monitor, &SilenceMonitor::monitoringChanged, this, &MainWindow::showState);
    connect(monitor, &SilenceMonitor::alarmLightChanged, this, &MainWindow::showState);
    // After the status service's own connections, so it already knows.
    connect(audio, &AudioInput::captureLost, this, &MainWindow::showState);
    connect(audio, &AudioInput::captureRegained, this, &MainWindow::showState);
    connect(&m_station, &Station::eventRaised, this, &MainWindow::showState);
    connect(&m_station.suspension(), &AlarmSuspension::changed, this, &MainWindow::showState);
    connect(notifications, &Notifications::awaitingAcknowledgeChanged, this,
            &MainWindow::showState);
    connect(monitor, &SilenceMonitor::clockTextChanged, this, [this](const QString& caption) {
        if (caption == m_lastCaption)
            return;
        m_lastCaption = caption;
        showState();
        showInputs();
    });
    connect(&m_station.inputs(), &NamedInputs::changed, this, &MainWindow::showInputs);
}

void MainWindow::showInputs()
{
    QStringList lines;
    for (const NamedInputWatch* w : m_station.inputs().watches()) {
        const QString state = w->state() == QLatin1String("down")
                                  ? (w->settings().kind() == NamedInputSettings::SourceKind::Stream
                                         ? tr("STREAM DOWN")
                                         : tr("INPUT LOST"))
                                  : w->state().toUpper();
        const int peak = std::max(std::abs(int(w->peakLeft())), std::abs(int(w->peakRight())));
        const QString level =
            peak > 0 ? QStringLiteral("%1 dB").arg(20.0 * std::log10(peak / 32767.0), 0, 'f', 1)
                     : QStringLiteral("\u2212\u221e dB");
        QString line = QStringLiteral("%1: %2   %3").arg(w->name(), state, level);
        if (w->silenceSecs() > 0)
            line += tr("   silent %1 s").arg(w->silenceSecs());
        lines << line;
    }
    m_lblInputs->setText(lines.join(u'\n'));
    m_lblInputs->setVisible(!lines.isEmpty());
}

namespace {

/// The state line's colours: text, background.
std::pair<const char*, const char*> stateColours(const QString& state)
{
    if (state == QLatin1String("MONITORING"))
        return {"#ffffff", "#1d7a35"};
    if (state == QLatin1String("ALARM"))
        return {"#ffffff", "#c0182b"};
    if (state == QLatin1String("IDLE"))
        return {"#ffffff", "#5a5f67"};
    return {"#000000", "#f0a020"}; // input lost, suspended, not monitoring in the window
}

} // namespace

void MainWindow::showState()
{
    const StatusFacts facts = m_station.status().facts();
    const QString state = facts.state();
    // A capture that is gone shows nothing, never the last level it had.
    if (facts.inputLost) {
        m_meterLeft->reset();
        m_meterRight->reset();
    }
    m_alarmSound->setSounding(facts.alarm && !facts.acknowledged);
    // The title says ALARM for as long as the alarm is up, whatever else is shown.
    const QString facility = m_station.account().facility().trimmed();
    const QString title = !facts.alarm ? QStringLiteral("Dovrane")
                          : facility.isEmpty()
                              ? QStringLiteral("ALARM - Dovrane")
                              : QStringLiteral("ALARM - %1 - Dovrane").arg(facility);
    if (windowTitle() != title)
        setWindowTitle(title);
    if (state == m_shownState)
        return;
    m_shownState = state;
    m_lblState->setText(state);
    const auto [text, back] = stateColours(state);
    m_lblState->setStyleSheet(QStringLiteral("QLabel { color: %1; background-color: %2; "
                                             "font-size: 18pt; font-weight: bold; "
                                             "border-radius: 4px; padding: 4px; }")
                                  .arg(QLatin1String(text), QLatin1String(back)));
}

// ---- pager ----

void MainWindow::wirePager()
{
    connect(&m_station.dialer(), &PagerDialer::statusChanged, m_label3, &QLabel::setText);

    m_mnuCallList->setEnabled(true);
    connect(m_mnuCallList, &QAction::triggered, this,
            [this] { showSingle(m_frmCallList, m_station.files(), m_station.errors(), this); });
    m_mnuMyConnection->setEnabled(true);
    connect(m_mnuMyConnection, &QAction::triggered, this, [this] {
        showSingle(m_frmMyConnection, m_station.serialProfile(), m_station.paths(),
                   m_station.errors(), this);
    });
}

// ---- mail ----

void MainWindow::wireMail()
{
    m_addressBookPosition = std::make_unique<AddressBookListPosition>();
    m_mnuMyAddressBook->setEnabled(true);
    connect(m_mnuMyAddressBook, &QAction::triggered, this, [this] {
        showSingle(m_frmAddressBook, m_station.files(), m_station.mailer(), m_station.errors(),
                   *m_addressBookPosition, this);
    });
}

// ---- settings windows ----

void MainWindow::wireSettingsWindows()
{
    m_mnuPreferences->setEnabled(true);
    connect(m_mnuPreferences, &QAction::triggered, this, [this] {
        // The window's own input, used only to list the devices; never started.
        std::unique_ptr<AudioInput> lister;
        if (!m_frmDVPreferences && m_station.services().makeDeviceLister)
            lister = m_station.services().makeDeviceLister();
        showSingle(m_frmDVPreferences, m_station.plan(), m_station.paths().paramsFile(),
                   std::move(lister), m_station.errors(), this);
    });

    m_mnuMyAccount->setEnabled(true);
    connect(m_mnuMyAccount, &QAction::triggered, this, [this] {
        const bool created = !m_frmMyAccount;
        showSingle(m_frmMyAccount, m_station.account(), m_station.paths().userFile(),
                   m_station.errors(), this);
        if (created)
            connect(m_frmMyAccount, &AccountWindow::closed, &m_station, &Station::LoadDataFiles);
    });

    m_mnuSettings->setEnabled(true);
    connect(m_mnuSettings, &QAction::triggered, this, [this] {
        QList<SettingsPage*> pages = m_frmSettings ? QList<SettingsPage*>() : makeSettingsPages();
        const bool created = !m_frmSettings;
        showSingle(m_frmSettings, m_station.settings(), std::move(pages), m_station.errors(), this);
        // A test of a service that was then left off, or cancelled, is not retried.
        if (created)
            connect(m_frmSettings, &QObject::destroyed, &m_station.notifications(),
                    &Notifications::dropSwitchedOff);
    });
}

QList<SettingsPage*> MainWindow::makeSettingsPages()
{
    QList<SettingsPage*> pages;
    pages << new StatusPage;
    pages << new DetectorsPage(m_station);
    pages << new InputsPage(
        [this](const NamedInputSettings& input) {
            return m_station.services().makeNamedInput(input);
        },
        m_station.services().clock);
    auto* notify = new NotifyPage;
    connect(notify, &NotifyPage::testRequested, &m_station,
            [this, notify] { notify->showTestResult(m_station.sendTest()); });
    pages << notify;
    auto* presets = new PresetsPage;
    connect(presets, &PresetsPage::testRequested, &m_station, &Station::sendPresetTest);
    pages << presets;
    pages << new AlarmsPage;
    pages << new NocPage;
    return pages;
}

// ---- viewer windows ----

void MainWindow::wireViewerWindows()
{
    m_mnuAlarmLogs->setEnabled(true);
    connect(m_mnuAlarmLogs, &QAction::triggered, this,
            [this] { showSingle(m_frmAlarmLogs, m_station.paths(), this); });
    m_mnuAbout->setEnabled(true);
    connect(m_mnuAbout, &QAction::triggered, this, [this] { showSingle(m_frmAbout, this); });
}

// ----

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_errorWindow->raiseIfVisible();
    QMainWindow::changeEvent(event);
}

void MainWindow::endRun()
{
    m_closeAgreed = true;
    close();
}

void MainWindow::askBeforeClosing()
{
    askFirst(this, "msgClose", QStringLiteral("Dovrane"),
             QStringLiteral("Dovrane is monitoring. Closing stops monitoring, and silence will "
                            "not raise an alarm.\n\nStop monitoring and close?"),
             {"cmdCloseYes", QStringLiteral("Stop and close")},
             {"cmdCloseNo", QStringLiteral("Keep monitoring")}, [this] {
                 // Logged as the Stop button logs it, so the day's log says who stopped.
                 if (m_station.monitor().isRunning())
                     m_station.stopClicked();
                 endRun();
             });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_closeAgreed && m_station.monitor().isRunning()) {
        event->ignore();
        askBeforeClosing();
        return;
    }
    // Ending is immediate: no "Alarm End" line, no hang-up to the modem. Preferences
    // saves as it does whenever it closes; the other windows go as they are (My
    // Account's reload would be pointless now). QApplication::quit() would close
    // them all properly first, so the event loop is left with exit() instead.
    if (m_frmDVPreferences)
        m_frmDVPreferences->saveAndClose();
    m_station.shutdown();
    const QList<QWidget*> children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child->isWindow())
            delete child;
    }
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace dovrane
