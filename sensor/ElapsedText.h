#pragma once

#include <QString>

namespace dovrane {

/// The silence time as the main window shows it: "mm:ss" under an hour, then
/// " h:mm:ss" (one leading blank below ten hours) and "hh:mm:ss", "hhh:mm:ss".
/// Expects seconds >= 0; a negative value shows as "00:00".
[[nodiscard]] QString FormatElapsed(qint32 seconds);

} // namespace dovrane
