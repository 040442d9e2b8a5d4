#include "DetectorsPage.h"

#include "AudioInput.h"
#include "ClipRecorder.h"
#include "DetectorSettings.h"
#include "LevelMeasurement.h"
#include "Settings.h"
#include "SilenceMonitor.h"
#include "Station.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace dovrane {

namespace {

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

const SettingsKey& key(const char* name)
{
    return DetectorSettings::table().key(name);
}

QSpinBox* spin(QWidget* parent, const char* name, const char* keyName, const QString& zero = {})
{
    auto* box = declared(named(new QSpinBox(parent), name), key(keyName));
    box->setSpecialValueText(zero);
    return box;
}

} // namespace

DetectorsPage::DetectorsPage(Station& station, QWidget* parent)
    : SettingsPage(parent), m_station(station)
{
    setObjectName(QStringLiteral("pageDetectors"));
    m_measurement = new LevelMeasurement(this);

    auto* faults = new QGroupBox(QStringLiteral("Faults beside silence"), this);
    auto* form = new QFormLayout(faults);
    m_chkInputLost = named(
        new QCheckBox(QStringLiteral("Input lost: no sound at all arrives for over 1 s"), faults),
        "chkInputLost");
    form->addRow(declared(m_chkInputLost, key("input_lost")));
    m_chkChannelLoss = named(
        new QCheckBox(QStringLiteral("One channel dead while the other carries sound"), faults),
        "chkChannelLoss");
    form->addRow(declared(m_chkChannelLoss, key("channel_loss")));
    m_spnChannelDelay = spin(faults, "spnChannelDelay", "channel_delay",
                             QStringLiteral("the silence alarm's delay"));
    form->addRow(QStringLiteral("    for"), m_spnChannelDelay);
    m_chkPhase =
        named(new QCheckBox(QStringLiteral("Phase reversed: left and right in opposition"), faults),
              "chkPhase");
    form->addRow(declared(m_chkPhase, key("phase")));
    m_spnPhaseLimit =
        declared(named(new QDoubleSpinBox(faults), "spnPhaseLimit"), key("phase_correlation"));
    m_spnPhaseLimit->setRange(-1.0, 0.0);
    m_spnPhaseLimit->setSingleStep(0.05);
    form->addRow(QStringLiteral("    correlation below"), m_spnPhaseLimit);
    m_spnPhaseSeconds = spin(faults, "spnPhaseSeconds", "phase_seconds");
    form->addRow(QStringLiteral("    for"), m_spnPhaseSeconds);

    auto* clips = new QGroupBox(QStringLiteral("Clips"), this);
    auto* clipForm = new QFormLayout(clips);
    m_chkClips = named(new QCheckBox(QStringLiteral("Keep a FLAC clip of every fault (%1 s "
                                                    "before it began, up to %2 s in all)")
                                         .arg(ClipRecorder::kBeforeSeconds)
                                         .arg(ClipRecorder::kRingSeconds),
                                     clips),
                       "chkClips");
    clipForm->addRow(declared(m_chkClips, key("enabled"))); // [clips] enabled
    m_spnClipDays = spin(clips, "spnClipDays", "keep_days");
    clipForm->addRow(QStringLiteral("Delete clips older than"), m_spnClipDays);

    auto* level = new QGroupBox(QStringLiteral("Silence threshold by measurement"), this);
    auto* levelLayout = new QVBoxLayout(level);
    m_lblStored = named(new QLabel(level), "lblStoredThreshold");
    levelLayout->addWidget(m_lblStored);
    auto* row = new QHBoxLayout;
    m_cboMeasure = named(new QComboBox(level), "cboMeasure");
    m_cboMeasure->addItems({QStringLiteral("Noise floor (keep the input quiet)"),
                            QStringLiteral("Programme (play normal programme)")});
    m_cmdMeasure = named(new QPushButton(QStringLiteral("&Measure"), level), "cmdMeasure");
    m_cmdUse = named(new QPushButton(QStringLiteral("&Use"), level), "cmdUse");
    m_cmdUse->setEnabled(false);
    row->addWidget(m_cboMeasure, 1);
    row->addWidget(m_cmdMeasure);
    row->addWidget(m_cmdUse);
    levelLayout->addLayout(row);
    m_lblMeasured = named(new QLabel(level), "lblMeasured");
    m_lblMeasured->setWordWrap(true);
    levelLayout->addWidget(m_lblMeasured);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(faults);
    layout->addWidget(clips);
    layout->addWidget(level);
    layout->addStretch();

    connect(m_cmdMeasure, &QPushButton::clicked, this, &DetectorsPage::measure);
    connect(m_cmdUse, &QPushButton::clicked, this, &DetectorsPage::useThreshold);
    connect(m_measurement, &LevelMeasurement::progress, this, [this](int percent) {
        m_lblMeasured->setText(QStringLiteral("Listening... %1 %").arg(percent));
    });
    connect(m_measurement, &LevelMeasurement::finished, this, &DetectorsPage::measured);
    showStoredThreshold();
}

DetectorsPage::~DetectorsPage() = default;

QString DetectorsPage::levelText(int level)
{
    const double db = LevelMeasurement::dBFS(level);
    return QStringLiteral("%1 (%2 dBFS)")
        .arg(level)
        .arg(std::isinf(db) ? QStringLiteral("-inf") : QString::number(db, 'f', 1));
}

void DetectorsPage::showStoredThreshold()
{
    const auto stored = m_station.storedThreshold();
    if (const auto* why = std::get_if<QString>(&stored))
        m_lblStored->setText(QStringLiteral("DVParams.dat cannot be read: ") + *why);
    else
        m_lblStored->setText(QStringLiteral("Threshold now in DVParams.dat: ") +
                             levelText(std::get<qint32>(stored)));
}

void DetectorsPage::load(const Settings& settings)
{
    const auto s = settings.get<DetectorSettings>();
    m_chkInputLost->setChecked(s.inputLost);
    m_chkChannelLoss->setChecked(s.channelLoss);
    m_spnChannelDelay->setValue(s.channelDelay);
    m_chkPhase->setChecked(s.phase);
    m_spnPhaseSeconds->setValue(s.phaseSeconds);
    m_spnPhaseLimit->setValue(s.phaseLimit);
    m_chkClips->setChecked(s.clips);
    m_spnClipDays->setValue(s.clipDays);
    showStoredThreshold();
}

QStringList DetectorsPage::problems() const
{
    DetectorSettings s;
    s.channelDelay = m_spnChannelDelay->value();
    s.phaseSeconds = m_spnPhaseSeconds->value();
    s.phaseLimit = m_spnPhaseLimit->value();
    s.clipDays = m_spnClipDays->value();
    return DetectorSettings::table().problems(s);
}

bool DetectorsPage::save(Settings& settings, QString* why)
{
    DetectorSettings s;
    s.inputLost = m_chkInputLost->isChecked();
    s.channelLoss = m_chkChannelLoss->isChecked();
    s.channelDelay = m_spnChannelDelay->value();
    s.phase = m_chkPhase->isChecked();
    s.phaseSeconds = m_spnPhaseSeconds->value();
    s.phaseLimit = m_spnPhaseLimit->value();
    s.clips = m_chkClips->isChecked();
    s.clipDays = m_spnClipDays->value();
    return settings.write(s, why) && writeThreshold(why);
}

void DetectorsPage::measure()
{
    if (m_measurement->isRunning())
        return;
    AudioInput* input = &m_station.services().audio;
    if (!m_station.monitor().isRunning()) {
        // Not monitoring: the chosen device, opened for the measurement only.
        m_lister = m_station.services().makeDeviceLister();
        m_lister->selectDevice(input->selectedDevice());
        if (!m_lister->start()) {
            m_lblMeasured->setText(QStringLiteral("The input cannot be opened: ") +
                                   m_lister->errorString());
            m_lister.reset();
            return;
        }
        input = m_lister.get();
    }
    m_cmdMeasure->setEnabled(false);
    m_lblMeasured->setText(QStringLiteral("Listening..."));
    m_measurement->start(*input);
}

void DetectorsPage::measured(int highest, int typical)
{
    if (m_lister) {
        m_lister->stop();
        m_lister.reset();
    }
    m_cmdMeasure->setEnabled(true);
    const bool floor = m_cboMeasure->currentIndex() == 0;
    (floor ? m_floor : m_programme) = floor ? highest : typical;
    m_suggested = LevelMeasurement::suggest(m_floor, m_programme);
    QString text;
    if (m_floor > 0)
        text += QStringLiteral("Noise floor (highest peak): %1. ").arg(levelText(m_floor));
    if (m_programme > 0)
        text += QStringLiteral("Programme (typical peak): %1. ").arg(levelText(m_programme));
    text += QStringLiteral("Suggested threshold: %1%2.")
                .arg(levelText(m_suggested),
                     m_floor > 0 && m_programme > 0
                         ? QString()
                         : QStringLiteral(" (measure the other one too for a better guess)"));
    if (!floor) {
        // A delay that the quietest moment of the programme heard (a track change,
        // a pause) stays inside, so neither raises the silence alarm.
        const LevelMeasurement::QuietRun run =
            LevelMeasurement::longestQuiet(m_measurement->peaks(), m_suggested);
        const double quiet = double(run.buffers) * 1024 / 44100;
        text += QStringLiteral(" Suggested silence delay: %1 s, because the longest stretch under "
                               "that threshold lasted %2 s.")
                    .arg(LevelMeasurement::suggestDelay(quiet))
                    .arg(quiet, 0, 'f', 1);
    }
    m_lblMeasured->setText(text);
    m_cmdUse->setEnabled(true);
}

void DetectorsPage::useThreshold()
{
    m_chosen = m_suggested;
    m_lblStored->setText(QStringLiteral("Threshold to write to DVParams.dat on OK: ") +
                         levelText(m_suggested));
}

bool DetectorsPage::writeThreshold(QString* why)
{
    if (!m_chosen)
        return true;
    if (const auto error = m_station.storeThreshold(*m_chosen)) {
        *why = QStringLiteral("Detectors: threshold not written to DVParams.dat: ") + *error;
        return false;
    }
    m_chosen.reset();
    showStoredThreshold();
    return true;
}

} // namespace dovrane
