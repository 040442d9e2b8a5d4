#include "PresetsPage.h"

#include "Settings.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace dovrane {

namespace {

/// "txt", "telegram" and "bot token" make "txtTelegramBotToken".
QString widgetName(const char* prefix, const QString& service, const QString& label)
{
    QString name = QLatin1String(prefix);
    for (const QString& word : (service + QLatin1Char(' ') + label).split(QLatin1Char(' ')))
        name += word.left(1).toUpper() + word.mid(1);
    return name;
}

} // namespace

PresetsPage::PresetsPage(QWidget* parent) : SettingsPage(parent)
{
    using Service = PresetSettings::Service;
    setObjectName(QStringLiteral("pagePresets"));
    auto* grid = new QGridLayout(this);
    for (Service service : PresetSettings::kServices) {
        Group& group = m_groups[size_t(service)];
        const QString name = PresetSettings::name(service);
        group.box = new QGroupBox(PresetSettings::title(service), this);
        group.box->setObjectName(widgetName("grp", name, {}));
        group.box->setCheckable(true);
        group.box->setChecked(false);
        auto* form = new QFormLayout(group.box);
        const auto fields = PresetSettings::textFields(service);
        for (size_t i = 0; i < fields.size(); ++i) {
            const char* key = fields[i].second;
            if (!key)
                continue;
            const QString label = i == 0   ? PresetSettings::urlLabel(service)
                                  : i == 3 ? QStringLiteral("server")
                                           : QLatin1String(key);
            auto* edit = new QLineEdit(group.box);
            edit->setMinimumWidth(220); // room for an address, and for every tab
            edit->setObjectName(widgetName("txt", name, QLatin1String(key)));
            if (i == 1)
                edit->setEchoMode(QLineEdit::PasswordEchoOnEdit);
            if (i == 3)
                edit->setPlaceholderText(PresetSettings::defaultApiBase(service) +
                                         QStringLiteral(" (or a proxy)"));
            if (service == Service::Ntfy)
                edit->setPlaceholderText(i == 0 ? QStringLiteral("https://ntfy.sh/your-topic")
                                                : QStringLiteral("empty for an open topic"));
            form->addRow(label.left(1).toUpper() + label.mid(1), edit);
            group.fields[i] = edit;
        }
        if (service == Service::Teams) {
            auto* note = new QLabel(QStringLiteral("From the workflow template \"Post to a channel "
                                                   "when a webhook request is received\"; gets "
                                                   "an Adaptive Card"),
                                    group.box);
            note->setWordWrap(true);
            form->addRow(note);
        }
        auto* test = new QPushButton(QStringLiteral("Send test"), group.box);
        test->setObjectName(widgetName("cmdTest", name, {}));
        test->setToolTip(QStringLiteral("A test message to %1 with the entries as they stand")
                             .arg(PresetSettings::title(service)));
        connect(test, &QPushButton::clicked, this, [this, service] {
            PresetSettings one;
            one[service] = entered()[service];
            one[service].enabled = true;
            const QStringList problems = one.problems();
            m_testNote->setText(problems.isEmpty()
                                    ? QStringLiteral("Test sent to %1; the error window tells "
                                                     "if it is not delivered.")
                                          .arg(PresetSettings::title(service))
                                    : problems.join(QLatin1Char('\n')));
            if (problems.isEmpty())
                Q_EMIT testRequested(one);
        });
        form->addRow(test);
        const int index = int(service);
        grid->addWidget(group.box, index / 2, index % 2);
    }
    m_testNote = new QLabel(this);
    m_testNote->setObjectName(QStringLiteral("lblPresetsTest"));
    m_testNote->setWordWrap(true);
    grid->addWidget(m_testNote, grid->rowCount(), 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(grid->rowCount(), 1);
}

void PresetsPage::load(const Settings& settings)
{
    const auto& presets = settings.get<PresetSettings>();
    for (auto service : PresetSettings::kServices) {
        const Group& group = m_groups[size_t(service)];
        const PresetSettings::Preset& p = presets[service];
        group.box->setChecked(p.enabled);
        const auto fields = PresetSettings::textFields(service);
        for (size_t i = 0; i < fields.size(); ++i)
            if (group.fields[i])
                group.fields[i]->setText(p.*fields[i].first);
    }
}

PresetSettings PresetsPage::entered() const
{
    PresetSettings presets;
    for (auto service : PresetSettings::kServices) {
        const Group& group = m_groups[size_t(service)];
        PresetSettings::Preset& p = presets[service];
        p.enabled = group.box->isChecked();
        const auto fields = PresetSettings::textFields(service);
        for (size_t i = 0; i < fields.size(); ++i)
            if (group.fields[i])
                p.*fields[i].first = group.fields[i]->text().trimmed();
    }
    return presets;
}

QStringList PresetsPage::problems() const
{
    return PresetSettings::table().problems(entered());
}

bool PresetsPage::save(Settings& settings, QString* why)
{
    return settings.write(entered(), why);
}

} // namespace dovrane
