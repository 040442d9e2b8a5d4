#include "SettingsWindow.h"

#include "ErrorReporter.h"
#include "Settings.h"
#include "SettingsPage.h"
#include "WindowParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace dovrane {

SettingsWindow::SettingsWindow(Settings& settings, QList<SettingsPage*> pages,
                               ErrorReporter& errors, QWidget* parent)
    : QWidget(parent, Qt::Window), m_settings(settings), m_errors(errors), m_pages(std::move(pages))
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Dovrane Settings"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabSettings"));
    for (SettingsPage* page : m_pages) {
        page->load(m_settings);
        m_tabs->addTab(page, page->title());
    }
    m_lblProblems = new QLabel(this);
    m_lblProblems->setObjectName(QStringLiteral("lblProblems"));
    m_lblProblems->setWordWrap(true);
    m_lblProblems->setStyleSheet(QStringLiteral("color: #a00000"));

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(ok, &QPushButton::clicked, this, [this] {
        if (apply())
            close();
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_lblProblems, 1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);
    addKeyboardConventions(this, nullptr);
}

bool SettingsWindow::apply()
{
    QStringList problems;
    for (SettingsPage* page : m_pages) {
        const bool first = problems.isEmpty();
        for (const QString& problem : page->problems())
            problems << page->title() + QStringLiteral(": ") + problem;
        if (first && !problems.isEmpty())
            m_tabs->setCurrentWidget(page); // the first page with a problem
    }
    if (problems.isEmpty()) {
        for (SettingsPage* page : m_pages) {
            QString why;
            if (!page->save(m_settings, &why)) {
                problems << why;
                m_errors.report(why);
                break;
            }
        }
    }
    m_lblProblems->setText(problems.join(QLatin1Char('\n')));
    if (!problems.isEmpty())
        return false;
    m_settings.reload();
    return true;
}

} // namespace dovrane
