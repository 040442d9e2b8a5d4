#include "MainWindow.h"

#include "AlarmLight.h"
#include "AlarmLog.h"
#include "AudioInput.h"
#include "ErrorWindow.h"
#include "LevelMeter.h"
#include "MailTransport.h"
#include "ParamsFile.h"
#include "SerialPort.h"
#include "StartupLoader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace dovrane {

MainWindow::MainWindow(AppState& state, Services services, QWidget* parent)
    : QMainWindow(parent), m_state(state), m_services(std::move(services))
{
    setObjectName(QStringLiteral("mnuMenu"));
    setWindowTitle(QStringLiteral("Dovrane"));

    m_errorWindow = new ErrorWindowHost(this);
    connect(&m_errors, &ErrorReporter::reported, m_errorWindow, &ErrorWindowHost::showMessage);
    m_alarmLog = new AlarmLog(m_state, m_services.clock, m_services.paths, m_errors, this);
    m_loader = std::make_unique<StartupLoader>(m_state, m_services.paths, m_errors);

    buildControls();
    buildMenu();
    wireSensor();
    wirePager();
    wireMail();
    wireSettingsWindows();
    wireViewerWindows();

    LoadDataFiles();
    LoadParams();
}

MainWindow::~MainWindow()
{
    closeDataFiles();
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
    buttons->addStretch();
    buttons->addWidget(m_cmdClose);

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(meters);
    layout->addLayout(silence);
    layout->addWidget(m_lblClock);
    layout->addWidget(m_label3);
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

    QMenu* files = addMenu("mnuFiles", QStringLiteral("Files"));
    m_mnuExit = addItem(files, "mnuExit", QStringLiteral("Exit"));
    m_mnuExit->setEnabled(true);
    connect(m_mnuExit, &QAction::triggered, this, &QWidget::close);

    QMenu* setup = addMenu("mnuSetup", QStringLiteral("Setup"));
    m_mnuMyAccount = addItem(setup, "mnuMyAccount", QStringLiteral("My Account"));
    m_mnuMyAddressBook = addItem(setup, "mnuMyAddressBook", QStringLiteral("My Addresse Book"));
    m_mnuCallList = addItem(setup, "mnuCallList", QStringLiteral("My Call List"));
    m_mnuMyConnection = addItem(setup, "mnuMyConnection", QStringLiteral("My Connection"));
    m_mnuPreferences = addItem(setup, "mnuPreferences", QStringLiteral("Preferences"));
    m_mnuAlarmLogs = addItem(nullptr, "mnuAlarmLogs", QStringLiteral("Alarm Logs"));
    m_mnuAbout = addItem(nullptr, "mnuAbout", QStringLiteral("About"));
}

void MainWindow::LoadDataFiles()
{
    m_loader->LoadDataFiles();
}

void MainWindow::LoadParams()
{
    ParamsFile file(m_services.paths.paramsFile());
    if (!file.open())
        return;
    m_services.audio.selectDevice(file.read(ParamsFile::InputDevice));
    m_alarmDelay = static_cast<qint16>(file.read(ParamsFile::AlarmDelay));
    m_threshold = file.read(ParamsFile::Threshold);
    file.close();
}

// ---- sensor ----

void MainWindow::wireSensor() {}

void MainWindow::StartSensor() {}

void MainWindow::StopSensor() {}

// ---- pager ----

void MainWindow::wirePager() {}

void MainWindow::StartCallSequence() {}

// ---- mail ----

void MainWindow::wireMail() {}

void MainWindow::SendMail() {}

// ---- settings windows ----

void MainWindow::wireSettingsWindows() {}

// ---- viewer windows ----

void MainWindow::wireViewerWindows() {}

// ----

void MainWindow::closeDataFiles()
{
    if (m_state.CallListFile)
        m_state.CallListFile->close();
    if (m_state.AddressBookFile)
        m_state.AddressBookFile->close();
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_errorWindow->raiseIfVisible();
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Ending is immediate: no "Alarm End" line, no hang-up to the modem.
    closeDataFiles();
    event->accept();
    QApplication::quit();
}

} // namespace dovrane
