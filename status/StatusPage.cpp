#include "StatusPage.h"

#include "Settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace dovrane {

StatusPage::StatusPage(QWidget* parent) : SettingsPage(parent)
{
    setObjectName(QStringLiteral("pageStatus"));
    m_chkEnabled = new QCheckBox(tr("Serve this station's status over HTTP"), this);
    m_chkEnabled->setObjectName(QStringLiteral("chkStatusEnabled"));
    m_txtListen = new QLineEdit(this);
    m_txtListen->setObjectName(QStringLiteral("txtStatusListen"));
    m_txtListen->setPlaceholderText(
        QStringLiteral("127.0.0.1:%1").arg(StatusSettings::kDefaultPort));
    m_txtToken = new QLineEdit(this);
    m_txtToken->setObjectName(QStringLiteral("txtStatusToken"));
    m_txtToken->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    auto* hint = new QLabel(tr("Prometheus scrapes /metrics; a browser shows the status page at /. "
                               "Any address other than this machine's own (127.0.0.1, ::1) "
                               "needs a token, given as \"Authorization: Bearer <token>\". "
                               "Acknowledging and suspending alarms from the page always need "
                               "one."),
                            this);
    hint->setWordWrap(true);
    auto* form = new QFormLayout(this);
    form->addRow(m_chkEnabled);
    form->addRow(tr("Listen on:"), m_txtListen);
    form->addRow(tr("Token:"), m_txtToken);
    form->addRow(hint);
}

void StatusPage::load(const Settings& settings)
{
    const auto& section = settings.get<StatusSettings>();
    m_chkEnabled->setChecked(section.enabled);
    m_txtListen->setText(section.listen);
    m_txtToken->setText(section.token);
}

StatusSettings StatusPage::entries() const
{
    StatusSettings section;
    section.enabled = m_chkEnabled->isChecked();
    if (!m_txtListen->text().trimmed().isEmpty())
        section.listen = m_txtListen->text().trimmed();
    section.token = m_txtToken->text().trimmed();
    return section;
}

QStringList StatusPage::problems() const
{
    return StatusSettings::table().problems(entries());
}

bool StatusPage::save(Settings& settings, QString* why)
{
    return settings.write(entries(), why);
}

} // namespace dovrane
