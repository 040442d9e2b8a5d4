#pragma once

#include <QString>

namespace dovrane {

class SerialProfile;

/// Connection.dat: the modem's serial port number on line 1 in numeric print style
/// (" 3 "), the baud rate digits on line 2, each line ended by CR LF.
namespace ConnectionProfile {

/// Reads the port and the rate into profile. false when the file cannot be opened or
/// the port is not a 16-bit number; the values read before the failure stay set.
/// why, when given, says what was wrong in words.
[[nodiscard]] bool read(const QString& path, SerialProfile& profile, QString* why = nullptr);

/// Writes port and rate; on failure errorText holds "<number> <description>".
[[nodiscard]] bool write(const QString& path, int comPort, const QString& baudRate,
                         QString* errorText = nullptr);

} // namespace ConnectionProfile

} // namespace dovrane
