#pragma once

#include "AlarmSettings.h"
#include "SettingsPage.h"

class QCheckBox;
class QPlainTextEdit;
class QSpinBox;

namespace dovrane {

/// The settings window's "Alarms" tab: the [alarms] section.
class AlarmsPage final : public SettingsPage
{
    Q_OBJECT
public:
    explicit AlarmsPage(QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override { return QStringLiteral("Alarms"); }
    void load(const Settings& settings) override;
    [[nodiscard]] QStringList problems() const override;
    bool save(Settings& settings, QString* why) override;

private:
    struct DetectorFields
    {
        QCheckBox* on = nullptr;
        QSpinBox* delay = nullptr;
    };
    [[nodiscard]] AlarmSettings entered(QStringList* bad = nullptr) const;

    AlarmSettings m_loaded;
    QSpinBox* m_bandLow = nullptr;
    QSpinBox* m_bandHigh = nullptr;
    QCheckBox* m_notch = nullptr;
    DetectorFields m_hum;
    DetectorFields m_noise;
    DetectorFields m_loop;
    QSpinBox* m_loopWindow = nullptr;
    QSpinBox* m_release = nullptr;
    QSpinBox* m_cooldown = nullptr;
    QSpinBox* m_perHour = nullptr;
    QPlainTextEdit* m_exceptions = nullptr;
};

} // namespace dovrane
