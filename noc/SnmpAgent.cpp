#include "SnmpAgent.h"

#include "NocLog.h"

#include <QSocketNotifier>

// After Qt, as net-snmp's macros would trip Qt's headers; in net-snmp's own order.
#include <net-snmp/net-snmp-config.h>
//
#include <net-snmp/net-snmp-includes.h>
//
#include <net-snmp/agent/net-snmp-agent-includes.h>

namespace dovrane {

Q_LOGGING_CATEGORY(lcNoc, "dovrane.noc")

namespace {

// 32473 is IANA's enterprise number for examples (RFC 5612): a site that registers
// its own changes it here and in DOVRANE-MIB.txt.
constexpr oid kBase[] = {1, 3, 6, 1, 4, 1, 32473, 1};
constexpr size_t kBaseLen = OID_LENGTH(kBase);

enum Status
{
    Monitoring = 1,
    Alarm,
    SilenceSeconds,
    LevelLeft,
    LevelRight,
    Facility,
    Version
};
enum Column
{
    Index = 1,
    Time,
    Event,
    Seconds,
    Text,
    Input, ///< set only for the events of a named input
};

// net-snmp calls plain functions; the process has one started agent.
SnmpAgent* g_agent = nullptr;
bool g_everStopped = false;

std::vector<oid> oidOf(std::initializer_list<oid> tail)
{
    std::vector<oid> out(kBase, kBase + kBaseLen);
    out.insert(out.end(), tail);
    return out;
}

void setString(netsnmp_variable_list* vb, const QString& text)
{
    const QByteArray bytes = text.toUtf8().left(255);
    snmp_set_var_typed_value(vb, ASN_OCTET_STR, bytes.constData(), bytes.size());
}

int statusHandler(netsnmp_mib_handler*, netsnmp_handler_registration* reg,
                  netsnmp_agent_request_info* info, netsnmp_request_info* requests)
{
    if (info->mode != MODE_GET || !g_agent)
        return SNMP_ERR_NOERROR;
    const NocStatus s = g_agent->status();
    const auto which = static_cast<Status>(reinterpret_cast<quintptr>(reg->my_reg_void));
    for (netsnmp_request_info* r = requests; r; r = r->next) {
        const auto integer = [r](long v) {
            snmp_set_var_typed_integer(r->requestvb, ASN_INTEGER, v);
        };
        switch (which) {
        case Monitoring:
            integer(s.monitoring ? 1 : 2); // TruthValue
            break;
        case Alarm:
            integer(s.alarm ? 1 : 2);
            break;
        case SilenceSeconds:
            integer(s.alarm || s.monitoring ? s.silenceSecs : 0);
            break;
        case LevelLeft:
            integer(s.levelLeft);
            break;
        case LevelRight:
            integer(s.levelRight);
            break;
        case Facility:
            setString(r->requestvb, s.facility);
            break;
        case Version:
            setString(r->requestvb, QStringLiteral("%1.%2.%3")
                                        .arg(DOVRANE_VERSION_MAJOR)
                                        .arg(DOVRANE_VERSION_MINOR)
                                        .arg(DOVRANE_VERSION_PATCH));
            break;
        }
    }
    return SNMP_ERR_NOERROR;
}

int logToCategory(int, int, void* message, void*)
{
    const auto* m = static_cast<const snmp_log_message*>(message);
    const QString text = QString::fromLocal8Bit(m->msg).trimmed();
    if (m->priority <= LOG_WARNING)
        qCWarning(lcNoc) << "net-snmp:" << text;
    else
        qCDebug(lcNoc) << "net-snmp:" << text;
    return 0;
}

} // namespace

SnmpAgent::SnmpAgent(std::function<NocStatus()> status, QObject* parent)
    : QObject(parent), m_status(std::move(status))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SnmpAgent::pump);
}

SnmpAgent::~SnmpAgent()
{
    stop();
}

void SnmpAgent::apply(const SnmpSettings& settings)
{
    if (!settings.enabled) {
        stop();
        return;
    }
    if (!m_started)
        start(settings);
    else if (settings.agentxSocket != m_socket)
        qCWarning(lcNoc) << "the AgentX socket changes at the next start of Dovrane";
    if (m_started)
        openSinks(settings);
    watch();
}

void SnmpAgent::start(const SnmpSettings& settings)
{
    if (g_agent || g_everStopped) {
        qCWarning(lcNoc) << "SNMP starts again at the next start of Dovrane";
        return;
    }
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
    if (!settings.agentxSocket.isEmpty())
        netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET,
                              settings.agentxSocket.toLocal8Bit().constData());
    // Alarms through snmp_select_info rather than SIGALRM, so the event loop runs them.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_ALARM_DONT_USE_SIG, 1);
    // Reconnects when the master agent restarts.
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL, 15);
    // Dovrane.ini says all; no snmp.conf of the user's, no persistent files.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    snmp_register_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, logToCategory, nullptr);
    snmp_enable_calllog();
    init_agent("dovrane");

    for (int s = Monitoring; s <= Version; ++s) {
        const std::vector<oid> name = oidOf({1, 1, oid(s)});
        netsnmp_handler_registration* reg = netsnmp_create_handler_registration(
            "dovraneStatus", statusHandler, name.data(), name.size(), HANDLER_CAN_RONLY);
        // net-snmp hands each handler a void* of its own; the scalar's number rides in it.
        reg->my_reg_void =
            reinterpret_cast<void*>(quintptr(s)); // NOLINT(performance-no-int-to-ptr)
        netsnmp_register_read_only_scalar(reg);
    }
    auto* table = netsnmp_create_table_data_set("dovraneAlarmTable");
    netsnmp_table_dataset_add_index(table, ASN_INTEGER);
    for (int c : {Time, Event, Text, Input})
        netsnmp_table_set_add_default_row(table, c, ASN_OCTET_STR, 0, nullptr, 0);
    netsnmp_table_set_add_default_row(table, Seconds, ASN_INTEGER, 0, nullptr, 0);
    const std::vector<oid> tableOid = oidOf({1, 2});
    netsnmp_register_table_data_set(
        netsnmp_create_handler_registration("dovraneAlarmTable", nullptr, tableOid.data(),
                                            tableOid.size(), HANDLER_CAN_RONLY),
        table, nullptr);
    m_table = table;

    // The subagent names no object by label: no MIB files to read (and warn about).
    const QByteArray mibs = qgetenv("MIBS");
    const bool hadMibs = qEnvironmentVariableIsSet("MIBS");
    qputenv("MIBS", "");
    netsnmp_set_mib_directory("");
    init_snmp("dovrane");
    if (hadMibs)
        qputenv("MIBS", mibs);
    else
        qunsetenv("MIBS");
    g_agent = this;
    m_started = true;
    m_socket = settings.agentxSocket;
    qCInfo(lcNoc) << "SNMP subagent started";
}

void SnmpAgent::stop()
{
    if (!m_started)
        return;
    closeSinks();
    qDeleteAll(m_notifiers);
    m_notifiers.clear();
    m_timer.stop();
    snmp_shutdown("dovrane");
    shutdown_agent();
    g_agent = nullptr;
    g_everStopped = true;
    m_started = false;
    m_rows.clear();
    m_table = nullptr;
}

void SnmpAgent::openSinks(const SnmpSettings& settings)
{
    closeSinks();
    for (const QString& sink : settings.trapSinks) {
        netsnmp_session session;
        snmp_sess_init(&session);
        session.version = SNMP_VERSION_2c;
        QByteArray peer = sink.toLocal8Bit();
        QByteArray community = settings.trapCommunity.toUtf8();
        session.peername = peer.data();
        session.community = reinterpret_cast<u_char*>(community.data());
        session.community_len = size_t(community.size());
        if (netsnmp_session* opened = snmp_open(&session))
            m_sinks << opened;
        else
            qCWarning(lcNoc) << "trap sink" << sink << "cannot be opened";
    }
}

void SnmpAgent::closeSinks()
{
    for (void* sink : std::as_const(m_sinks))
        snmp_close(static_cast<netsnmp_session*>(sink));
    m_sinks.clear();
}

void SnmpAgent::notify(const StationEvent& event)
{
    if (!m_started)
        return;
    auto* table = static_cast<netsnmp_table_data_set*>(m_table);
    const long index = m_nextRow++;
    netsnmp_table_row* row = netsnmp_create_table_data_row();
    netsnmp_table_row_add_index(row, ASN_INTEGER, &index, sizeof(index));
    const QByteArray time = event.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    const QByteArray name = event.name().toUtf8();
    const QByteArray text = event.text.toUtf8().left(255);
    const long seconds = event.seconds;
    netsnmp_set_row_column(row, Time, ASN_OCTET_STR, time.constData(), time.size());
    netsnmp_set_row_column(row, Event, ASN_OCTET_STR, name.constData(), name.size());
    netsnmp_set_row_column(row, Seconds, ASN_INTEGER, &seconds, sizeof(seconds));
    netsnmp_set_row_column(row, Text, ASN_OCTET_STR, text.constData(), text.size());
    const QByteArray input = event.input.toUtf8().left(32);
    if (!input.isEmpty())
        netsnmp_set_row_column(row, Input, ASN_OCTET_STR, input.constData(), input.size());
    netsnmp_table_dataset_add_row(table, row);
    m_rows << row;
    if (m_rows.size() > kRows)
        netsnmp_table_dataset_remove_and_delete_row(
            table, static_cast<netsnmp_table_row*>(m_rows.takeFirst()));

    static const oid uptimeOid[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
    static const oid trapOidOid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
    const long uptime = long(netsnmp_get_agent_uptime());
    const std::vector<oid> trap = oidOf({0, oid(event.kind) + 1});
    const QByteArray facility = m_status().facility.toUtf8().left(255);
    netsnmp_variable_list* vars = nullptr;
    snmp_varlist_add_variable(&vars, uptimeOid, OID_LENGTH(uptimeOid), ASN_TIMETICKS, &uptime,
                              sizeof(uptime));
    snmp_varlist_add_variable(&vars, trapOidOid, OID_LENGTH(trapOidOid), ASN_OBJECT_ID, trap.data(),
                              trap.size() * sizeof(oid));
    const auto add = [&vars](std::vector<oid> name, u_char type, const void* value, size_t size) {
        snmp_varlist_add_variable(&vars, name.data(), name.size(), type, value, size);
    };
    add(oidOf({1, 1, Facility, 0}), ASN_OCTET_STR, facility.constData(), facility.size());
    add(oidOf({1, 2, 1, Event, oid(index)}), ASN_OCTET_STR, name.constData(), name.size());
    add(oidOf({1, 2, 1, Seconds, oid(index)}), ASN_INTEGER, &seconds, sizeof(seconds));
    add(oidOf({1, 2, 1, Text, oid(index)}), ASN_OCTET_STR, text.constData(), text.size());
    if (!input.isEmpty())
        add(oidOf({1, 2, 1, Input, oid(index)}), ASN_OCTET_STR, input.constData(), input.size());

    send_v2trap(vars); // to the master agent, whose trap sinks the site configured
    for (void* sink : std::as_const(m_sinks)) {
        netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_TRAP2);
        pdu->variables = snmp_clone_varbind(vars);
        if (!snmp_send(static_cast<netsnmp_session*>(sink), pdu)) {
            qCWarning(lcNoc) << "trap not sent:" << snmp_api_errstring(snmp_errno);
            snmp_free_pdu(pdu);
        }
    }
    snmp_free_varbind(vars);
    watch();
}

void SnmpAgent::pump()
{
    if (!m_started)
        return;
    agent_check_and_process(0);
    watch();
}

void SnmpAgent::watch()
{
    if (!m_started)
        return;
    int count = 0;
    int block = 1;
    fd_set fds;
    FD_ZERO(&fds);
    timeval timeout{};
    snmp_select_info(&count, &fds, &timeout, &block);
    for (auto it = m_notifiers.begin(); it != m_notifiers.end();) {
        if (it.key() < count && FD_ISSET(it.key(), &fds)) {
            ++it;
            continue;
        }
        it.value()->setEnabled(false);
        it.value()->deleteLater(); // may be the one whose signal runs now
        it = m_notifiers.erase(it);
    }
    for (int fd = 0; fd < count; ++fd) {
        if (!FD_ISSET(fd, &fds) || m_notifiers.contains(fd))
            continue;
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &SnmpAgent::pump);
        m_notifiers.insert(fd, notifier);
    }
    if (block)
        m_timer.stop();
    else // at least 10 ms, so a due alarm never spins the loop
        m_timer.start(std::max<qint64>(10, timeout.tv_sec * 1000 + timeout.tv_usec / 1000));
}

} // namespace dovrane
