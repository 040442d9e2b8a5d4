#include "NotifyPage.h"

#include "NotifySettings.h"
#include "Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace dovrane {

namespace {
template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}
const SettingsKey& key(const char* name)
{
    return NotifySettings::table().key(name);
}

} // namespace

NotifyPage::NotifyPage(QWidget* parent) : SettingsPage(parent)
{
    setObjectName(QStringLiteral("pageNotify"));
    m_server = named(new QLineEdit(this), "txtSmtpServer");
    m_server->setPlaceholderText(QStringLiteral("empty: the sendmail program"));
    m_port = declared(named(new QSpinBox(this), "txtSmtpPort"), key("smtp_port"));
    m_security = named(new QComboBox(this), "cboSmtpSecurity");
    for (auto s : {NotifySettings::Security::None, NotifySettings::Security::StartTls,
                   NotifySettings::Security::Tls})
        m_security->addItem(NotifySettings::securityName(s), int(s));
    m_user = named(new QLineEdit(this), "txtSmtpUser");
    m_password = named(new QLineEdit(this), "txtSmtpPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_sender = named(new QLineEdit(this), "txtSmtpSender");
    m_caFile = named(new QLineEdit(this), "txtSmtpCaFile");
    m_caFile->setPlaceholderText(QStringLiteral("empty: the system's certificates"));
    m_gsm = named(new QCheckBox(QStringLiteral("The modem is a GSM modem: send text messages "
                                               "to the call list instead of calling"),
                                this),
                  "chkGsm");
    m_webhooks = named(new QLineEdit(this), "txtWebhooks");
    m_webhooks->setPlaceholderText(QStringLiteral("https://... (several: separated by blanks)"));
    m_hook = named(new QLineEdit(this), "txtHook");
    m_repeat = declared(named(new QSpinBox(this), "txtRepeatMinutes"), key("repeat_minutes"));
    m_repeat->setSpecialValueText(QStringLiteral("never"));
    m_retryFirst =
        declared(named(new QSpinBox(this), "txtRetryFirstSeconds"), key("retry_first_seconds"));

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("SMTP server"), m_server);
    form->addRow(QStringLiteral("Port"), m_port);
    form->addRow(QStringLiteral("Security"), m_security);
    form->addRow(QStringLiteral("User"), m_user);
    form->addRow(QStringLiteral("Password"), m_password);
    form->addRow(QStringLiteral("Sender"), m_sender);
    form->addRow(QStringLiteral("Certificates"), m_caFile);
    form->addRow(m_gsm);
    form->addRow(QStringLiteral("Webhooks"), m_webhooks);
    form->addRow(QStringLiteral("Program on each event"), m_hook);
    form->addRow(QStringLiteral("Repeat until acknowledged"), m_repeat);
    form->addRow(QStringLiteral("First retry after"), m_retryFirst);
    auto* test = named(new QPushButton(QStringLiteral("Send test"), this), "cmdSendTest");
    test->setToolTip(QStringLiteral("A test event to the webhooks, the program and, with a GSM "
                                    "modem, the call list, and a test mail to the sender through "
                                    "the SMTP server, with the settings as saved"));
    connect(test, &QPushButton::clicked, this, &NotifyPage::testRequested);
    m_testResult = named(new QLabel(this), "lblTestResult");
    m_testResult->setWordWrap(true);
    form->addRow(test, m_testResult);
}

void NotifyPage::showTestResult(const QString& text)
{
    m_testResult->setText(text);
}

void NotifyPage::load(const Settings& settings)
{
    const auto& s = settings.get<NotifySettings>();
    m_server->setText(s.smtpServer);
    m_port->setValue(s.smtpPort);
    m_security->setCurrentIndex(m_security->findData(int(s.smtpSecurity)));
    m_user->setText(s.smtpUser);
    m_password->setText(s.smtpPassword);
    m_sender->setText(s.smtpSender);
    m_caFile->setText(s.smtpCaFile);
    m_gsm->setChecked(s.gsm);
    m_webhooks->setText(s.webhooks.join(QLatin1Char(' ')));
    m_hook->setText(s.hook);
    m_repeat->setValue(s.repeatMinutes);
    m_retryFirst->setValue(s.retryFirstSeconds);
}

NotifySettings NotifyPage::entered() const
{
    NotifySettings s;
    s.smtpServer = m_server->text().trimmed();
    s.smtpPort = m_port->value();
    s.smtpSecurity = NotifySettings::Security(m_security->currentData().toInt());
    s.smtpUser = m_user->text();
    s.smtpPassword = m_password->text();
    s.smtpSender = m_sender->text().trimmed();
    s.smtpCaFile = m_caFile->text().trimmed();
    s.gsm = m_gsm->isChecked();
    s.webhooks = m_webhooks->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    s.hook = m_hook->text().trimmed();
    s.repeatMinutes = m_repeat->value();
    s.retryFirstSeconds = m_retryFirst->value();
    return s;
}

QStringList NotifyPage::problems() const
{
    return NotifySettings::table().problems(entered());
}

bool NotifyPage::save(Settings& settings, QString* why)
{
    return settings.write(entered(), why);
}

} // namespace dovrane
