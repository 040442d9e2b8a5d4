#pragma once

#include "SettingsPage.h"
#include "StatusSettings.h"

class QCheckBox;
class QLineEdit;

namespace dovrane {

/// "Remote status": whether the station serves /metrics, /status and the status
/// page, on which address, and the token other machines must give.
class StatusPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit StatusPage(QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override { return tr("Remote status"); }
    void load(const Settings& settings) override;
    [[nodiscard]] QStringList problems() const override;
    bool save(Settings& settings, QString* why) override;

private:
    [[nodiscard]] StatusSettings entries() const;

    QCheckBox* m_chkEnabled = nullptr;
    QLineEdit* m_txtListen = nullptr;
    QLineEdit* m_txtToken = nullptr;
};

} // namespace dovrane
