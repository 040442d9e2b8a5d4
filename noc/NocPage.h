#pragma once

#include "NocSettings.h"
#include "SettingsPage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace dovrane {

/// "Into your NOC": the [snmp] and [heartbeat] sections.
class NocPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit NocPage(QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override;
    void load(const Settings& settings) override;
    [[nodiscard]] QStringList problems() const override;
    bool save(Settings& settings, QString* why) override;

private:
    [[nodiscard]] SnmpSettings snmp() const;
    [[nodiscard]] HeartbeatSettings heartbeat() const;

    QCheckBox* m_snmpEnabled = nullptr;
    QLineEdit* m_agentx = nullptr;
    QLineEdit* m_traps = nullptr;
    QLineEdit* m_community = nullptr;
    QLineEdit* m_url = nullptr;
    QSpinBox* m_interval = nullptr;
    QComboBox* m_method = nullptr;
    QSpinBox* m_timeout = nullptr;
};

} // namespace dovrane
