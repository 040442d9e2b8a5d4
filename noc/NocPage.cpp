#include "NocPage.h"

#include "Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace dovrane {

NocPage::NocPage(QWidget* parent) : SettingsPage(parent)
{
    setObjectName(QStringLiteral("nocPage"));
    const auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    auto* snmpBox = new QGroupBox(tr("SNMP (AgentX subagent of the machine's snmpd)"), this);
    auto* snmpForm = new QFormLayout(snmpBox);
    snmpForm->addRow(m_snmpEnabled =
                         named(new QCheckBox(tr("Serve the Dovrane MIB")), "snmpEnabled"));
    snmpForm->addRow(tr("AgentX socket:"), m_agentx = named(new QLineEdit, "agentx"));
    m_agentx->setPlaceholderText(tr("net-snmp's default (/var/agentx/master)"));
    snmpForm->addRow(tr("Trap sinks:"), m_traps = named(new QLineEdit, "traps"));
    m_traps->setPlaceholderText(tr("host:port, host:port (besides the master agent's)"));
    snmpForm->addRow(tr("Trap community:"), m_community = named(new QLineEdit, "community"));

    auto* beatBox = new QGroupBox(tr("Heartbeat to a push monitor"), this);
    auto* beatForm = new QFormLayout(beatBox);
    beatForm->addRow(tr("Address:"), m_url = named(new QLineEdit, "heartbeatUrl"));
    m_url->setPlaceholderText(tr("https://monitor.example/ping/… (empty: no heartbeat)"));
    beatForm->addRow(tr("Every:"),
                     m_interval = declared(named(new QSpinBox, "heartbeatInterval"),
                                           HeartbeatSettings::table().key("interval")));
    beatForm->addRow(tr("Method:"), m_method = named(new QComboBox, "heartbeatMethod"));
    m_method->addItems({QStringLiteral("GET"), QStringLiteral("POST")});
    beatForm->addRow(tr("Time-out:"),
                     m_timeout = declared(named(new QSpinBox, "heartbeatTimeout"),
                                          HeartbeatSettings::table().key("timeout")));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(snmpBox);
    layout->addWidget(beatBox);
    layout->addStretch();
}

QString NocPage::title() const
{
    return tr("Into your NOC");
}

void NocPage::load(const Settings& settings)
{
    const auto& snmp = settings.get<SnmpSettings>();
    m_snmpEnabled->setChecked(snmp.enabled);
    m_agentx->setText(snmp.agentxSocket);
    m_traps->setText(snmp.trapSinks.join(QLatin1String(", ")));
    m_community->setText(snmp.trapCommunity);
    const auto& beat = settings.get<HeartbeatSettings>();
    m_url->setText(beat.url);
    m_interval->setValue(beat.intervalSecs);
    m_method->setCurrentIndex(beat.post ? 1 : 0);
    m_timeout->setValue(beat.timeoutSecs);
}

SnmpSettings NocPage::snmp() const
{
    SnmpSettings s;
    s.enabled = m_snmpEnabled->isChecked();
    s.agentxSocket = m_agentx->text().trimmed();
    for (const QString& sink : m_traps->text().split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!sink.trimmed().isEmpty())
            s.trapSinks << sink.trimmed();
    s.trapCommunity = m_community->text();
    return s;
}

HeartbeatSettings NocPage::heartbeat() const
{
    HeartbeatSettings s;
    s.url = m_url->text().trimmed();
    s.intervalSecs = m_interval->value();
    s.post = m_method->currentIndex() == 1;
    s.timeoutSecs = m_timeout->value();
    return s;
}

QStringList NocPage::problems() const
{
    return SnmpSettings::table().problems(snmp()) +
           HeartbeatSettings::table().problems(heartbeat());
}

bool NocPage::save(Settings& settings, QString* why)
{
    return settings.write(snmp(), why) && settings.write(heartbeat(), why);
}

} // namespace dovrane
