#pragma once

#include <QString>

namespace dovrane {

struct AppState;

/// Connection.dat: the modem's serial port number on line 1 in numeric print style
/// (" 3 "), the baud rate digits on line 2, each line ended by CR LF.
namespace ConnectionProfile {

/// Reads ComPort and BaudRate into state. false when the file cannot be opened or
/// the port is not a 16-bit number; the values read before the failure stay set.
[[nodiscard]] bool read(const QString& path, AppState& state);

/// Writes port and rate; on failure errorText holds "<number> <description>".
[[nodiscard]] bool write(const QString& path, int comPort, const QString& baudRate,
                         QString* errorText = nullptr);

} // namespace ConnectionProfile

} // namespace dovrane
