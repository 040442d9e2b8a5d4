#pragma once

#include "NamedInputSettings.h"
#include "Settings.h"
#include "SettingsPage.h"

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace dovrane {

class AudioInput;
class Clock;
class InputProbe;

/// "Inputs": the inputs beside the main one ([input.NAME] sections), added,
/// removed and tried out. Test connects to the source as it stands on the page,
/// shows its level for 5 s and says what the source is.
class InputsPage : public SettingsPage
{
    Q_OBJECT
public:
    using SourceMaker = std::function<std::unique_ptr<AudioInput>(const NamedInputSettings&)>;
    InputsPage(SourceMaker makeSource, Clock& clock, QWidget* parent = nullptr);
    ~InputsPage() override;

    [[nodiscard]] QString title() const override { return tr("Inputs"); }
    void load(const Settings& settings) override;
    [[nodiscard]] QStringList problems() const override;
    bool save(Settings& settings, QString* why) override;

    static constexpr int kTestSeconds = 5;

private:
    using Input = Settings::Named<NamedInputSettings>;
    void show(int row);
    void keep(); ///< the fields into the input selected
    void add();
    void remove();
    void test();

    SourceMaker m_makeSource;
    QList<Input> m_inputs;
    int m_row = -1;
    QListWidget* m_lstInputs = nullptr;
    QLineEdit* m_txtName = nullptr;
    QLineEdit* m_txtSource = nullptr;
    QLineEdit* m_txtThreshold = nullptr;
    QSpinBox* m_spnDelay = nullptr;
    QCheckBox* m_chkEnabled = nullptr;
    QCheckBox* m_chkNotify = nullptr;
    QCheckBox* m_chkAroundTheClock = nullptr;
    QCheckBox* m_chkChannelLoss = nullptr;
    QCheckBox* m_chkPhase = nullptr;
    QPushButton* m_cmdTest = nullptr;
    QLabel* m_lblTest = nullptr;
    Clock& m_clock;
    // The source under test and the probe listening to it.
    std::unique_ptr<AudioInput> m_testSource;
    InputProbe* m_probe = nullptr;
};

} // namespace dovrane
