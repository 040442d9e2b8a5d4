#include "PreferencesWindow.h"

#include "AlarmPlan.h"
#include "AudioInput.h"
#include "ErrorReporter.h"
#include "InputChoice.h"
#include "WindowParts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dovrane {

namespace {

constexpr int kThresholdLength = 4;
const char* const kDayNames[8] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

int selectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

void selectRow(QListWidget* list, int row)
{
    if (row < 0) {
        list->setCurrentItem(nullptr);
        list->clearSelection();
    } else {
        list->setCurrentRow(row);
    }
}

void addEntry(QListWidget* list, const QString& text, int data)
{
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::UserRole, data);
}

// Check boxes keep 0 (unchecked), 1 (checked) or 2 (grey) in the file.
Qt::CheckState checkState(int value)
{
    switch (value) {
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

int checkValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

QLabel* label(const QString& text, const char* name, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

PreferencesWindow::PreferencesWindow(AlarmPlan& plan, const QString& paramsPath,
                                     std::unique_ptr<AudioInput> waveIn, ErrorReporter& errors,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), m_plan(plan), m_errors(errors), m_file(paramsPath),
      m_settingsPath(QFileInfo(paramsPath).dir().filePath(QStringLiteral("Dovrane.ini"))),
      m_waveIn(waveIn.release())
{
    setObjectName(QStringLiteral("frmDVPreferences"));
    setWindowTitle(QStringLiteral("Preferences"));
    if (m_waveIn) {
        m_waveIn->setParent(this);
        m_waveIn->setObjectName(QStringLiteral("WaveIn"));
    }
    buildControls();
    load();
    addKeyboardConventions(this, nullptr);
}

PreferencesWindow::~PreferencesWindow() = default;

void PreferencesWindow::buildControls()
{
    auto* menuBar = new QMenuBar(this);
    addFilesExitMenu(menuBar, this);

    m_lstWaveIn = new QListWidget(this);
    m_lstWaveIn->setObjectName(QStringLiteral("lstWaveIn"));
    m_lstWaveIn->setToolTip(QStringLiteral("Select Input Card"));
    m_lstWaveIn->setMaximumHeight(100);
    // The device list always names a device: Ctrl+click must not leave it empty.
    connect(m_lstWaveIn, &QListWidget::itemSelectionChanged, this, [this] {
        if (m_lstWaveIn->selectedItems().isEmpty() && m_lstWaveIn->currentItem())
            m_lstWaveIn->currentItem()->setSelected(true);
    });

    m_txtThreshold = new QLineEdit(this);
    m_txtThreshold->setObjectName(QStringLiteral("txtThreshold"));
    m_txtThreshold->setMaxLength(kThresholdLength);

    m_lstTime = new QListWidget(this);
    m_lstTime->setObjectName(QStringLiteral("lstTime"));
    m_lstTime->setToolTip(QStringLiteral("Number of Seconds of Dead Air before Alarm"));
    m_lstTime->setMaximumHeight(120);
    connect(m_lstTime, &QListWidget::itemSelectionChanged, this, [this] {
        if (const int row = selectedRow(m_lstTime); row >= 0)
            m_chosenDelay = static_cast<qint16>(m_lstTime->item(row)->data(Qt::UserRole).toInt());
    });

    m_optPage = new QRadioButton(QStringLiteral("Send Page"), this);
    m_optPage->setObjectName(QStringLiteral("Option1_1"));
    m_optEmail = new QRadioButton(QStringLiteral("Send Email"), this);
    m_optEmail->setObjectName(QStringLiteral("Option1_2"));
    m_option1 = new QButtonGroup(this);
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option1->addButton(m_optPage, 1);
    m_option1->addButton(m_optEmail, 2);

    // Kept and saved like the others, but nothing in the program acts on them.
    m_check2 = new QCheckBox(QStringLiteral("Alarm Only"), this);
    m_check2->setObjectName(QStringLiteral("Check2"));
    m_check2->hide();
    QLabel* relayLabel = label(QStringLiteral("Alarm Relay"), "lblAlarmRelay", this);
    relayLabel->hide();
    m_lstAlarmRelay = new QListWidget(this);
    m_lstAlarmRelay->setObjectName(QStringLiteral("lstAlarmRelay"));
    m_lstAlarmRelay->setToolTip(QStringLiteral(
        "Select Relay Output for Alarm...Remote Control must be enabled in Setup>>My Computer"));
    m_lstAlarmRelay->hide();

    auto* schedule = new QGridLayout;
    schedule->addWidget(label(QStringLiteral("Start"), "lblStart", this), 0, 1);
    schedule->addWidget(label(QStringLiteral("Stop"), "lblStop", this), 0, 2);
    for (int d = 1; d <= 7; ++d) {
        m_check1[d] = new QCheckBox(QString::fromLatin1(kDayNames[d]), this);
        m_check1[d]->setObjectName(QStringLiteral("Check1_%1").arg(d));
        connect(m_check1[d], &QCheckBox::clicked, this, [this, d] { m_dayClicked[d] = true; });
        m_txtStart[d] = new QLineEdit(this);
        m_txtStart[d]->setObjectName(QStringLiteral("txtStart_%1").arg(d));
        m_txtStop[d] = new QLineEdit(this);
        m_txtStop[d]->setObjectName(QStringLiteral("txtStop_%1").arg(d));
        for (QLineEdit* field : {m_txtStart[d], m_txtStop[d]})
            field->installEventFilter(this);
        schedule->addWidget(m_check1[d], d, 0);
        schedule->addWidget(m_txtStart[d], d, 1);
        schedule->addWidget(m_txtStop[d], d, 2);
    }
    schedule->setRowStretch(8, 1);

    m_cmdClose = new QPushButton(QStringLiteral("Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    auto* input = new QGridLayout;
    input->addWidget(label(QStringLiteral("Net In"), "lblNetIn", this), 0, 0);
    input->addWidget(m_lstWaveIn, 1, 0, 1, 2);
    input->addWidget(label(QStringLiteral("Threshold"), "lblThreshold", this), 2, 0);
    input->addWidget(m_txtThreshold, 2, 1);
    input->addWidget(label(QStringLiteral("Delay"), "lblDelay", this), 3, 0);
    input->addWidget(m_lstTime, 3, 1);
    input->addWidget(m_optPage, 4, 0, 1, 2);
    input->addWidget(m_optEmail, 5, 0, 1, 2);
    input->addWidget(m_check2, 6, 0, 1, 2);
    input->addWidget(relayLabel, 7, 0);
    input->addWidget(m_lstAlarmRelay, 7, 1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(input);
    columns->addLayout(schedule);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdClose);

    auto* when = label(QStringLiteral("The alarm action and the weekly schedule take effect "
                                      "when this window closes. The input, the threshold and "
                                      "the delay take effect at the next start of Dovrane "
                                      "(or when it is sent SIGHUP)."),
                       "lblTakesEffect", this);
    when->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(columns);
    layout->addWidget(when);
    layout->addLayout(buttons);
}

void PreferencesWindow::load()
{
    const int devices = m_waveIn ? m_waveIn->deviceCount() : 0;
    for (int i = 0; i < devices; ++i)
        addEntry(m_lstWaveIn, m_waveIn->deviceName(i), i);

    addEntry(m_lstAlarmRelay, QStringLiteral("Off"), 0);
    m_lstAlarmRelay->setEnabled(false);

    for (int s = 1; s <= Preferences::kDelayEntries; ++s)
        addEntry(m_lstTime, QStringLiteral("%1 seconds").arg(s), s);

    PreferencesForm form;
    const std::optional<QString> error = Preferences::load(m_file, devices, form);
    showForm(form);
    if (error)
        m_errors.report(*error);
}

void PreferencesWindow::showForm(const PreferencesForm& form)
{
    selectRow(m_lstTime, form.delayRow);
    m_chosenDelay = form.chosenDelay;
    m_check2->setCheckState(checkState(form.alarmOnly));
    selectRow(m_lstAlarmRelay, form.relayRow);
    selectRow(m_lstWaveIn, form.deviceRow);
    if (QAbstractButton* option = m_option1->button(form.action))
        option->setChecked(true);
    m_loaded = form;
    // A stored value longer than the box is cut in the box but kept in the file
    // unless the user types a new one.
    m_txtThreshold->setText(form.threshold);
    for (int d = 1; d <= 7; ++d) {
        m_check1[d]->setCheckState(checkState(form.dayChecked[d]));
        m_txtStart[d]->setText(form.start[d]);
        m_txtStop[d]->setText(form.stop[d]);
    }
}

PreferencesForm PreferencesWindow::formFromControls() const
{
    PreferencesForm form;
    form.chosenDelay = m_chosenDelay;
    form.delayRow = selectedRow(m_lstTime);
    form.alarmOnly = checkValue(m_check2);
    form.relayRow = selectedRow(m_lstAlarmRelay);
    const int device = selectedRow(m_lstWaveIn);
    form.deviceRow = device < 0 ? -1 : m_lstWaveIn->item(device)->data(Qt::UserRole).toInt();
    form.action = m_optPage->isChecked() ? 1 : m_optEmail->isChecked() ? 2 : 0;
    form.threshold = m_txtThreshold->text();
    if (!m_txtThreshold->isModified())
        form.storedThreshold = m_loaded.storedThreshold;
    for (int d = 1; d <= 7; ++d) {
        form.dayChecked[d] = checkValue(m_check1[d]);
        form.start[d] = m_txtStart[d]->text();
        form.stop[d] = m_txtStop[d]->text();
        if (!m_dayClicked[d])
            form.storedDayEnabled[d] = m_loaded.storedDayEnabled[d];
        if (!m_txtStart[d]->isModified())
            form.storedStart[d] = m_loaded.storedStart[d];
        if (!m_txtStop[d]->isModified())
            form.storedStop[d] = m_loaded.storedStop[d];
    }
    return form;
}

void PreferencesWindow::save()
{
    PreferencesForm form = formFromControls();
    // The device is remembered by name too, so a list in another order later is
    // noticed rather than monitored blindly.
    if (Preferences::save(m_file, form, m_plan, m_errors) != Preferences::SaveResult::NoDevice &&
        m_waveIn)
        InputChoice::remember(m_settingsPath, *m_waveIn, form.deviceRow);
    if (m_txtThreshold->text() != form.threshold)
        m_txtThreshold->setText(form.threshold);
}

void PreferencesWindow::saveAndClose()
{
    m_delayAgreed = true;
    close();
}

void PreferencesWindow::askAboutDelay()
{
    askFirst(this, "msgDelay", QStringLiteral("Preferences"),
             QStringLiteral("No delay is chosen, so the delay is 0 seconds: every gap in the "
                            "sound raises an alarm and sends its page or mail, which can flood "
                            "the call list and the address book with alarms.\n\n"
                            "Go back and choose a delay?"),
             {"cmdSaveAnyway", QStringLiteral("Save with 0")},
             {"cmdGoBack", QStringLiteral("Go back")}, [this] { saveAndClose(); });
}

void PreferencesWindow::closeEvent(QCloseEvent* event)
{
    if (!m_saved && !m_delayAgreed && m_chosenDelay <= 0) {
        event->ignore();
        askAboutDelay();
        return;
    }
    // Once agreed, closing is never cancelled, and saves once however it comes about.
    if (!m_saved) {
        m_saved = true;
        save();
    }
    event->accept();
}

bool PreferencesWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        for (int d = 1; d <= 7; ++d) {
            if (watched == m_txtStart[d] || watched == m_txtStop[d]) {
                auto* field = static_cast<QLineEdit*>(watched);
                field->clear();
                field->setModified(true);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace dovrane
