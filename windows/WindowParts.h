#pragma once

#include <QFont>
#include <QString>

#include <functional>

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

/// One button of askFirst(): its objectName and caption.
struct Choice
{
    const char* name;
    QString caption;
};

/// A window-modal warning on window that does not block: the question named name
/// (made once, shown again when asked again) with a button to go on, which runs
/// onGo, and a default button to go back, which also answers Escape. The question
/// is taken out of window before onGo runs, so onGo may close window.
void askFirst(QWidget* window, const char* name, const QString& title, const QString& text,
              const Choice& go, const Choice& back, const std::function<void()>& onGo);

} // namespace dovrane
