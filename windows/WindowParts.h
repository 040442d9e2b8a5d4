#pragma once

#include <QFont>
#include <QString>

class QAction;
class QMenuBar;
class QWidget;

namespace dovrane {

/// family when it is installed and really fixed-pitch, otherwise the system's
/// fixed-pitch font: list lines of blank-padded fields line up only in such a font.
[[nodiscard]] QFont fixedPitchFont(const QString& family);

/// The "Files" menu (mnuFiles) with its one item "Exit" (mnuExit), which closes
/// window, as every editor window has it. Returns the Exit item.
QAction* addFilesExitMenu(QMenuBar* bar, QWidget* window);

} // namespace dovrane
