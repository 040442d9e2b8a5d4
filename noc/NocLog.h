#pragma once

#include <QLoggingCategory>

namespace dovrane {
/// Diagnostics of the SNMP subagent and the heartbeat; failures towards the NOC
/// land here and nowhere else.
Q_DECLARE_LOGGING_CATEGORY(lcNoc)
} // namespace dovrane
