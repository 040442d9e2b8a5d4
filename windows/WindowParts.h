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

/// What any desktop program does with the keyboard: Enter presses the focused
/// button, F10 opens the menu bar (when there is one), and for an editor window
/// (closeOnEscape) Escape closes it the way its Close button does.
void addKeyboardConventions(QWidget* window, QMenuBar* bar, bool closeOnEscape = true);

} // namespace dovrane
