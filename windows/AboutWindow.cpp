#include "AboutWindow.h"
#include "WindowParts.h"

#include "AppIcon.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace dovrane {

AboutWindow::AboutWindow(QWidget* parent, SystemInfoTool tool)
    : QDialog(parent), m_tool(std::move(tool))
{
    const QString title = QString::fromLatin1(kAppTitle);
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + title);
    setModal(false);

    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setPixmap(appIconPixmap32());
    m_picIcon->setFixedSize(32, 32);

    m_lblTitle = new QLabel(title, this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = m_lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_lblTitle->setFont(big);

    m_lblVersion = new QLabel(QStringLiteral("Version %1.%2.%3")
                                  .arg(DOVRANE_VERSION_MAJOR)
                                  .arg(DOVRANE_VERSION_MINOR)
                                  .arg(DOVRANE_VERSION_PATCH),
                              this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));

    m_lblDescription =
        new QLabel(QStringLiteral("Watches a sound-card input for dead air") + QLatin1Char('\n') +
                       QStringLiteral("and calls or e-mails the people on duty when it finds it."),
                   this);
    m_lblDescription->setObjectName(QStringLiteral("lblDescription"));

    m_cmdOk = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOk->setObjectName(QStringLiteral("cmdOk"));
    m_cmdOk->setDefault(true);
    connect(m_cmdOk, &QPushButton::clicked, this, &QWidget::close);

    m_cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &AboutWindow::StartSysInfo);

    auto* text = new QVBoxLayout;
    text->addWidget(m_lblTitle);
    text->addWidget(m_lblVersion);
    text->addSpacing(8);
    text->addWidget(m_lblDescription);

    auto* top = new QHBoxLayout;
    top->addWidget(m_picIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdSysInfo);

    auto* layout = new QGridLayout(this);
    layout->addLayout(top, 0, 0);
    layout->setRowStretch(1, 1);
    layout->addLayout(buttons, 2, 1, Qt::AlignBottom);
    addKeyboardConventions(this, nullptr);
}

void AboutWindow::StartSysInfo()
{
    if (m_tool.start())
        return;
    // Window-modal without a nested event loop: monitoring goes on behind it.
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle),
                                QStringLiteral("System Information Is Unavailable At This Time"),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace dovrane
