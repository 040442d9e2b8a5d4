#include "ErrorWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dovrane {

ErrorWindow::ErrorWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmError"));
    setWindowTitle(QStringLiteral("Error Message"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    m_lblMessage = new QLabel(this);
    m_lblMessage->setObjectName(QStringLiteral("lblMessage"));
    m_lblMessage->setWordWrap(true);
    m_lblMessage->setMinimumWidth(320);
    m_lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblMessage->setTextFormat(Qt::PlainText); // a message is never markup

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblMessage, 1);
    layout->addLayout(buttons);
}

void ErrorWindow::setMessage(const QString& message)
{
    m_lblMessage->setText(message);
    // Grow (or shrink) to the new message, so a long one is never cut off.
    adjustSize();
}

QString ErrorWindow::message() const
{
    return m_lblMessage->text();
}

ErrorWindowHost::ErrorWindowHost(QWidget* windowParent)
    : QObject(windowParent), m_windowParent(windowParent)
{}

void ErrorWindowHost::showMessage(const QString& message)
{
    if (!m_window) {
        m_window = new ErrorWindow(m_windowParent);
        // A closed window is deleted only when the event loop comes round again; a
        // message arriving before then must not land in the window on its way out.
        connect(m_window, &QDialog::finished, this, [this, closing = m_window.data()] {
            if (m_window == closing)
                m_window = nullptr;
        });
    }
    m_window->show();
    m_window->setMessage(message);
    m_window->raise();
}

void ErrorWindowHost::raiseIfVisible()
{
    if (m_window && m_window->isVisible())
        m_window->raise();
}

} // namespace dovrane
