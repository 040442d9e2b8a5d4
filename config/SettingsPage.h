#pragma once

#include "SettingsTable.h"

#include <QSpinBox>
#include <QWidget>

#include <type_traits>

namespace dovrane {

class Settings;

/// One tab of the settings window: the controls of one [section] of Dovrane's own
/// settings file. The window fills every page when it opens and, on OK, asks each
/// page for its problems before any page writes, so a refused entry writes nothing.
class SettingsPage : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    [[nodiscard]] virtual QString title() const = 0;
    virtual void load(const Settings& settings) = 0;
    /// What is wrong with the entries, each naming its field; empty when they can
    /// be saved.
    [[nodiscard]] virtual QStringList problems() const = 0;
    /// Writes the page's section; false with why when the file cannot be written.
    virtual bool save(Settings& settings, QString* why) = 0;
};

/// A field of a settings page with its key's limits, unit and help, as declared.
template <typename W> W* declared(W* field, const SettingsKey& key)
{
    if constexpr (std::is_base_of_v<QSpinBox, W>) {
        field->setRange(int(key.min), int(key.max));
        if (!key.unit.isEmpty())
            field->setSuffix(QLatin1Char(' ') + key.unit);
    }
    field->setToolTip(key.help);
    return field;
}

} // namespace dovrane
