#pragma once

namespace dovrane {

/// Names the running application: "Dovrane", its version, its desktop entry and its
/// icon, for the window system and the About window. Call right after QApplication.
void setApplicationIdentity();

} // namespace dovrane
