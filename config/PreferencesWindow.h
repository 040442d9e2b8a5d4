#pragma once

#include "ParamsFile.h"
#include "PreferencesForm.h"

#include <QWidget>

#include <array>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace dovrane {

class AudioInput;
class ErrorReporter;
class AlarmPlan;

/// "Preferences": input device, threshold, delay, alarm action and weekly schedule.
/// It reads DVParams.dat when it opens and saves it whenever it closes (there is
/// no Apply and no Cancel); the alarm action and the schedule go into the alarm plan at
/// once, the rest waits for the next program start (or SIGHUP), and the window says
/// so. Closing with no delay chosen asks first: a delay of 0 raises an alarm, and
/// its notifications, at every gap in the sound.
class PreferencesWindow : public QWidget
{
    Q_OBJECT
public:
    /// waveIn is only asked for its device list and never started; null lists no
    /// device.
    PreferencesWindow(AlarmPlan& plan, const QString& paramsPath,
                      std::unique_ptr<AudioInput> waveIn, ErrorReporter& errors,
                      QWidget* parent = nullptr);
    ~PreferencesWindow() override;

    /// The delay that closing will save (0 when none was chosen).
    [[nodiscard]] qint16 chosenDelay() const { return m_chosenDelay; }
    /// Saves and closes without the question about a delay of 0 (the program ends).
    void saveAndClose();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void load();
    void save();
    /// Warns that a delay of 0 floods; going back keeps the window open.
    void askAboutDelay();
    void showForm(const PreferencesForm& form);
    [[nodiscard]] PreferencesForm formFromControls() const;

    AlarmPlan& m_plan;
    ErrorReporter& m_errors;
    ParamsFile m_file;
    QString m_settingsPath; ///< Dovrane.ini beside the parameters file
    AudioInput* m_waveIn = nullptr;
    qint16 m_chosenDelay = 0;
    bool m_saved = false;
    bool m_delayAgreed = false;
    /// What opening read, for the values kept while their control is left alone.
    PreferencesForm m_loaded;
    std::array<bool, 8> m_dayClicked{};

    QListWidget* m_lstWaveIn = nullptr;
    QLineEdit* m_txtThreshold = nullptr;
    QListWidget* m_lstTime = nullptr;
    QRadioButton* m_optPage = nullptr;
    QRadioButton* m_optEmail = nullptr;
    QButtonGroup* m_option1 = nullptr;
    QCheckBox* m_check2 = nullptr;
    QListWidget* m_lstAlarmRelay = nullptr;
    std::array<QCheckBox*, 8> m_check1{};
    std::array<QLineEdit*, 8> m_txtStart{};
    std::array<QLineEdit*, 8> m_txtStop{};
    QPushButton* m_cmdClose = nullptr;
};

} // namespace dovrane
