#include "WindowParts.h"

#include <QAction>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

namespace dovrane {

namespace {

bool isMonospaced(const QFont& font)
{
    // Measured rather than asked: font databases misreport some monospaced families,
    // and a missing family is silently replaced by a proportional one.
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(QLatin1Char('i')) ==
           metrics.horizontalAdvance(QLatin1Char('M'));
}

} // namespace

QFont fixedPitchFont(const QString& family)
{
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (isMonospaced(font))
        return font;
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

QAction* addFilesExitMenu(QMenuBar* bar, QWidget* window)
{
    QMenu* files = bar->addMenu(QStringLiteral("&Files"));
    files->setObjectName(QStringLiteral("mnuFiles"));
    QAction* exit = files->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("mnuExit"));
    QObject::connect(exit, &QAction::triggered, window, &QWidget::close);
    return exit;
}

void addKeyboardConventions(QWidget* window, QMenuBar* bar, bool closeOnEscape)
{
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setAutoDefault(true);
    if (bar) {
        auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
        QObject::connect(f10, &QShortcut::activated, bar, [bar] {
            if (!bar->actions().isEmpty())
                bar->setActiveAction(bar->actions().first());
        });
    }
    if (closeOnEscape) {
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
        QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
    }
}

void askFirst(QWidget* window, const char* name, const QString& title, const QString& text,
              const Choice& go, const Choice& back, const std::function<void()>& onGo)
{
    auto* box = window->findChild<QMessageBox*>(QLatin1String(name));
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::NoButton, window);
        box->setObjectName(QLatin1String(name));
        box->setWindowModality(Qt::WindowModal);
        QPushButton* yes = box->addButton(go.caption, QMessageBox::AcceptRole);
        yes->setObjectName(QLatin1String(go.name));
        QPushButton* no = box->addButton(back.caption, QMessageBox::RejectRole);
        no->setObjectName(QLatin1String(back.name));
        box->setDefaultButton(no);
        box->setEscapeButton(no);
        QObject::connect(yes, &QPushButton::clicked, window, [box, onGo] {
            // Closing the window deletes what it owns, and the question is still in
            // its click.
            box->setParent(nullptr);
            box->deleteLater();
            onGo();
        });
    }
    box->open();
}

} // namespace dovrane
