#pragma once

#include <QFileDevice>
#include <QStringList>

namespace dovrane {

/// Creates or replaces a small settings text file with the given lines, each ended
/// by CR LF, in the single-byte code page. The new content is written to a
/// temporary file and renamed into place, so a failed write never leaves half a
/// file. On failure errorText holds "<number> <description>".
[[nodiscard]] bool writeSettingsLines(const QString& path, const QStringList& lines,
                                      QFileDevice::Permissions permissions,
                                      QString* errorText = nullptr);

} // namespace dovrane
