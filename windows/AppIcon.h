#pragma once

#include <QIcon>
#include <QPixmap>

namespace dovrane {

/// The program's own icon (level meters and the alarm light) in every size it ships.
[[nodiscard]] QIcon appIcon();
/// The 32 x 32 picture the About window shows.
[[nodiscard]] QPixmap appIconPixmap32();

} // namespace dovrane
