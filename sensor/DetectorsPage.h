#pragma once

#include "SettingsPage.h"

#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace dovrane {

class AudioInput;
class LevelMeasurement;
class Station;

/// "Detectors": the faults watched for beside silence, the clips kept of them, and
/// a threshold found by listening to the input for 10 s instead of by guessing.
/// "Use" takes the suggestion, and OK writes it to DVParams.dat as Preferences
/// does; Cancel leaves the file as it was.
class DetectorsPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit DetectorsPage(Station& station, QWidget* parent = nullptr);
    ~DetectorsPage() override;

    [[nodiscard]] QString title() const override { return QStringLiteral("Detectors"); }
    void load(const Settings& settings) override;
    [[nodiscard]] QStringList problems() const override;
    bool save(Settings& settings, QString* why) override;

    /// Listens to the monitored input, or to the chosen device briefly when not
    /// monitoring.
    void measure();
    /// Takes the suggested threshold, to be written when the window saves.
    void useThreshold();

private:
    /// Writes the taken threshold; false with why when it cannot.
    bool writeThreshold(QString* why);
    void measured(int highest, int typical);
    void showStoredThreshold();
    [[nodiscard]] static QString levelText(int level);

    Station& m_station;
    LevelMeasurement* m_measurement = nullptr;
    std::unique_ptr<AudioInput> m_lister;
    int m_floor = 0;
    int m_programme = 0;
    int m_suggested = 0;
    std::optional<int> m_chosen;

    QCheckBox* m_chkInputLost = nullptr;
    QCheckBox* m_chkChannelLoss = nullptr;
    QSpinBox* m_spnChannelDelay = nullptr;
    QCheckBox* m_chkPhase = nullptr;
    QSpinBox* m_spnPhaseSeconds = nullptr;
    QDoubleSpinBox* m_spnPhaseLimit = nullptr;
    QCheckBox* m_chkClips = nullptr;
    QSpinBox* m_spnClipDays = nullptr;
    QLabel* m_lblStored = nullptr;
    QComboBox* m_cboMeasure = nullptr;
    QPushButton* m_cmdMeasure = nullptr;
    QLabel* m_lblMeasured = nullptr;
    QPushButton* m_cmdUse = nullptr;
};

} // namespace dovrane
