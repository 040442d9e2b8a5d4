#pragma once

#include <QString>

#include <optional>

namespace dovrane {

class Account;

/// User.dat: facility name, user name and password, one per line, CR LF.
namespace AccountFile {

/// Reads the three values into the account, one whole line each (commas, quotes and
/// blanks are part of the value). A value missing from the file leaves the field as
/// it was. false when the file cannot be read.
[[nodiscard]] bool read(const QString& path, Account& account);

/// Writes the three lines exactly as given. The file holds a password in plain
/// text, so it is readable by its owner only. On failure errorText holds
/// "<number> <description>".
[[nodiscard]] bool write(const QString& path, const QString& facility, const QString& userName,
                         const QString& password, QString* errorText = nullptr);

/// Apply in the account window: the three shared values change at once, then the
/// file is written. The failure text ("<number> <description>") or nullopt.
[[nodiscard]] std::optional<QString> apply(const QString& path, const QString& facility,
                                           const QString& userName, const QString& password,
                                           Account& account);

} // namespace AccountFile

} // namespace dovrane
