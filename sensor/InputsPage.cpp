#include "InputsPage.h"

#include "AudioInput.h"
#include "InputProbe.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace dovrane {

namespace {
const SettingsKey& key(const char* name)
{
    return NamedInputSettings::table().key(name);
}
} // namespace

InputsPage::InputsPage(SourceMaker makeSource, Clock& clock, QWidget* parent)
    : SettingsPage(parent), m_makeSource(std::move(makeSource)), m_clock(clock)
{
    setObjectName(QStringLiteral("pageInputs"));
    m_lstInputs = new QListWidget(this);
    m_lstInputs->setObjectName(QStringLiteral("lstInputs"));
    auto* add = new QPushButton(tr("Add"), this);
    add->setObjectName(QStringLiteral("cmdAddInput"));
    auto* remove = new QPushButton(tr("Remove"), this);
    remove->setObjectName(QStringLiteral("cmdRemoveInput"));
    m_cmdTest = new QPushButton(tr("Test"), this);
    m_cmdTest->setObjectName(QStringLiteral("cmdTestInput"));

    m_txtName = new QLineEdit(this);
    m_txtName->setObjectName(QStringLiteral("txtInputName"));
    m_txtName->setToolTip(tr("1 to 32 letters, digits, - and _; it names the input in the log, "
                             "mails and the status"));
    m_txtSource = declared(new QLineEdit(this), key("source"));
    m_txtSource->setObjectName(QStringLiteral("txtInputSource"));
    m_txtSource->setPlaceholderText(QStringLiteral("https://stream.example.org/live.mp3"));
    m_txtThreshold = declared(new QLineEdit(this), key("threshold"));
    m_txtThreshold->setObjectName(QStringLiteral("txtInputThreshold"));
    m_spnDelay = declared(new QSpinBox(this), key("delay"));
    m_spnDelay->setObjectName(QStringLiteral("spnInputDelay"));
    m_chkEnabled = declared(new QCheckBox(tr("Watch this input"), this), key("enabled"));
    m_chkNotify = declared(
        new QCheckBox(tr("Tell people by the alarm action (else only log)"), this), key("notify"));
    m_chkAroundTheClock = declared(
        new QCheckBox(tr("Around the clock (else while the main input is monitored)"), this),
        key("around_the_clock"));
    m_chkChannelLoss = declared(new QCheckBox(tr("A dead channel"), this), key("detectors"));
    m_chkPhase = declared(new QCheckBox(tr("Reversed phase"), this), key("detectors"));
    m_lblTest = new QLabel(this);
    m_lblTest->setObjectName(QStringLiteral("lblInputTest"));
    m_lblTest->setTextFormat(Qt::PlainText);
    m_lblTest->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), m_txtName);
    form->addRow(tr("Source:"), m_txtSource);
    form->addRow(tr("Silence at or below:"), m_txtThreshold);
    form->addRow(tr("Alarm after:"), m_spnDelay);
    form->addRow(m_chkEnabled);
    form->addRow(m_chkNotify);
    form->addRow(m_chkAroundTheClock);
    form->addRow(tr("Also watch for:"), m_chkChannelLoss);
    form->addRow(QString(), m_chkPhase);
    form->addRow(m_cmdTest, m_lblTest);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    auto* left = new QVBoxLayout;
    left->addWidget(m_lstInputs);
    left->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(form, 2);

    connect(m_lstInputs, &QListWidget::currentRowChanged, this, &InputsPage::show);
    connect(add, &QPushButton::clicked, this, &InputsPage::add);
    connect(remove, &QPushButton::clicked, this, &InputsPage::remove);
    connect(m_cmdTest, &QPushButton::clicked, this, &InputsPage::test);
    connect(m_txtName, &QLineEdit::editingFinished, this, [this] {
        keep();
        if (m_row >= 0)
            m_lstInputs->item(m_row)->setText(m_inputs[m_row].name);
    });
    show(-1);
}

InputsPage::~InputsPage()
{
    delete m_probe; // before the source it listens to
}

void InputsPage::load(const Settings& settings)
{
    m_inputs = settings.family<NamedInputSettings>();
    m_row = -1;
    m_lstInputs->clear();
    for (const Input& i : m_inputs)
        m_lstInputs->addItem(i.name);
    m_lstInputs->setCurrentRow(m_inputs.isEmpty() ? -1 : 0);
    show(m_lstInputs->currentRow());
}

void InputsPage::show(int row)
{
    keep();
    m_row = row;
    const bool any = row >= 0 && row < m_inputs.size();
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_txtName, m_txtSource, m_txtThreshold, m_spnDelay, m_chkEnabled, m_chkNotify,
             m_chkAroundTheClock, m_chkChannelLoss, m_chkPhase, m_cmdTest})
        w->setEnabled(any);
    const Input shown = any ? m_inputs[row] : Input{};
    m_txtName->setText(shown.name);
    m_txtSource->setText(shown.value.source);
    m_txtThreshold->setText(NamedInputSettings::thresholdText(shown.value.threshold));
    m_spnDelay->setValue(shown.value.delaySecs);
    m_chkEnabled->setChecked(shown.value.enabled);
    m_chkNotify->setChecked(shown.value.notify);
    m_chkAroundTheClock->setChecked(shown.value.aroundTheClock);
    m_chkChannelLoss->setChecked(shown.value.detects("channel_loss"));
    m_chkPhase->setChecked(shown.value.detects("phase"));
    m_lblTest->clear();
}

void InputsPage::keep()
{
    if (m_row < 0 || m_row >= m_inputs.size())
        return;
    Input& i = m_inputs[m_row];
    i.name = m_txtName->text().trimmed();
    i.value.source = m_txtSource->text().trimmed();
    // A threshold that cannot be read stays as typed until problems() names it.
    if (const auto t = NamedInputSettings::parseThreshold(m_txtThreshold->text()))
        i.value.threshold = *t;
    i.value.delaySecs = m_spnDelay->value();
    i.value.enabled = m_chkEnabled->isChecked();
    i.value.notify = m_chkNotify->isChecked();
    i.value.aroundTheClock = m_chkAroundTheClock->isChecked();
    i.value.detectors.clear();
    if (m_chkChannelLoss->isChecked())
        i.value.detectors << QStringLiteral("channel_loss");
    if (m_chkPhase->isChecked())
        i.value.detectors << QStringLiteral("phase");
}

void InputsPage::add()
{
    keep();
    QString name;
    for (int n = int(m_inputs.size()) + 1; name.isEmpty(); ++n) {
        name = QStringLiteral("Input%1").arg(n);
        for (const Input& i : m_inputs)
            if (i.name.compare(name, Qt::CaseInsensitive) == 0)
                name.clear();
    }
    m_inputs.append({name, {}});
    m_row = -1;
    m_lstInputs->addItem(name);
    m_lstInputs->setCurrentRow(int(m_inputs.size()) - 1);
    m_txtSource->setFocus();
}

void InputsPage::remove()
{
    if (m_row < 0)
        return;
    const int row = m_row;
    m_row = -1; // nothing to keep of the one that goes
    m_inputs.removeAt(row);
    delete m_lstInputs->takeItem(row);
    show(m_lstInputs->currentRow());
}

QStringList InputsPage::problems() const
{
    const_cast<InputsPage*>(this)->keep();
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    QStringList out;
    QStringList seen;
    for (const Input& i : m_inputs) {
        const QString section = QStringLiteral("[input.%1]").arg(i.name);
        if (!kName.match(i.name).hasMatch())
            out << tr("%1: a name is 1 to 32 letters, digits, - and _").arg(section);
        else if (seen.contains(i.name, Qt::CaseInsensitive))
            out << tr("%1: two inputs have this name").arg(section);
        seen << i.name;
        for (QString p : NamedInputSettings::table().problems(i.value))
            out << p.replace(QStringLiteral("[input.NAME]"), section);
    }
    if (m_row >= 0 && !NamedInputSettings::parseThreshold(m_txtThreshold->text()))
        out << NamedInputSettings::table()
                   .key("threshold")
                   .problem(tr("neither dBFS nor a level"), m_txtThreshold->text());
    return out;
}

bool InputsPage::save(Settings& settings, QString* why)
{
    keep();
    return settings.writeFamily("input", m_inputs, why);
}

void InputsPage::test()
{
    keep();
    if (m_row < 0 || m_probe)
        return;
    m_testSource = m_makeSource(m_inputs[m_row].value);
    m_probe = new InputProbe(*m_testSource, m_clock, this);
    m_cmdTest->setEnabled(false);
    m_lblTest->setText(tr("Connecting..."));
    const auto about = [this] {
        return m_probe->description().isEmpty() ? QString()
                                                : m_probe->description() + QLatin1Char('\n');
    };
    connect(m_probe, &InputProbe::measured, this, [this, about](const InputProbe::Levels& l) {
        m_lblTest->setText(about() + InputProbe::levelText(l));
    });
    connect(m_probe, &InputProbe::finished, this, [this, about](bool reached) {
        const QList<InputProbe::Levels> levels = m_probe->levels();
        m_lblTest->setText(
            reached ? about() + tr("Sound arrives; last %1")
                                    .arg(levels.isEmpty() ? QString()
                                                          : InputProbe::levelText(levels.last()))
                    : tr("No sound in %1 s: %2").arg(kTestSeconds).arg(m_probe->why()));
        m_probe->deleteLater();
        m_probe = nullptr;
        m_testSource.reset();
        m_cmdTest->setEnabled(m_row >= 0);
    });
    m_probe->start(kTestSeconds);
}

} // namespace dovrane
