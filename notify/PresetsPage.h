#pragma once

#include "PresetSettings.h"
#include "SettingsPage.h"

class QGroupBox;
class QLabel;
class QLineEdit;

namespace dovrane {

/// The [presets] section: one group per chat or push service, its box turning it on.
class PresetsPage final : public SettingsPage
{
    Q_OBJECT
public:
    explicit PresetsPage(QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override { return QStringLiteral("Chat and push"); }
    void load(const Settings& settings) override;
    [[nodiscard]] QStringList problems() const override;
    bool save(Settings& settings, QString* why) override;

Q_SIGNALS:
    /// Send test: a test event to one service, with its entries as they stand.
    void testRequested(const dovrane::PresetSettings& presets);

private:
    struct Group
    {
        QGroupBox* box = nullptr;
        /// url, token, target, apiBase; nullptr where the service has no such field
        std::array<QLineEdit*, 4> fields{};
    };

    [[nodiscard]] PresetSettings entered() const;

    std::array<Group, PresetSettings::kServices.size()> m_groups;
    QLabel* m_testNote = nullptr;
};

} // namespace dovrane
