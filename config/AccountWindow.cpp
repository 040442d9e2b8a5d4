#include "AccountWindow.h"

#include "Account.h"
#include "AccountFile.h"
#include "ErrorReporter.h"
#include "WindowParts.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace dovrane {

AccountWindow::AccountWindow(Account& account, const QString& userFilePath, ErrorReporter& errors,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), m_account(account), m_path(userFilePath), m_errors(errors)
{
    setObjectName(QStringLiteral("frmMyAccount"));
    setWindowTitle(QStringLiteral("MyAccount"));

    auto* menuBar = new QMenuBar(this);
    addFilesExitMenu(menuBar, this);

    const QString captions[] = {QStringLiteral("User Name"), QStringLiteral("Password"),
                                QStringLiteral("Facility")};
    auto* grid = new QGridLayout;
    QLineEdit** fields[] = {&m_txtUserName, &m_txtPassword, &m_txtFacility};
    const QString names[] = {QStringLiteral("txtUserName"), QStringLiteral("txtPassword"),
                             QStringLiteral("txtFacility")};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(captions[i], this);
        label->setObjectName(QStringLiteral("Label_%1").arg(i));
        *fields[i] = new QLineEdit(this);
        (*fields[i])->setObjectName(names[i]);
        label->setBuddy(*fields[i]);
        grid->addWidget(label, i, 0);
        grid->addWidget(*fields[i], i, 1);
    }
    m_txtPassword->setEchoMode(QLineEdit::Password);
    // The style's own mask character varies (often a bullet); this window shows '*'.
    m_txtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    m_cmdApply = new QPushButton(QStringLiteral("Apply"), this);
    m_cmdApply->setObjectName(QStringLiteral("cmdApply"));
    connect(m_cmdApply, &QPushButton::clicked, this, &AccountWindow::apply);
    m_cmdClose = new QPushButton(QStringLiteral("Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    setTabOrder(m_txtFacility, m_txtUserName);
    setTabOrder(m_txtUserName, m_txtPassword);
    setTabOrder(m_txtPassword, m_cmdApply);
    setTabOrder(m_cmdApply, m_cmdClose);
    m_txtFacility->setFocus();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(m_cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    m_txtFacility->setText(m_account.facility());
    m_txtUserName->setText(m_account.userName());
    m_txtPassword->setText(m_account.password());
    addKeyboardConventions(this, nullptr);
}

void AccountWindow::apply()
{
    if (const std::optional<QString> error = AccountFile::apply(
            m_path, m_txtFacility->text(), m_txtUserName->text(), m_txtPassword->text(), m_account))
        m_errors.report(*error);
}

void AccountWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    Q_EMIT closed();
}

} // namespace dovrane
