#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;

namespace dovrane {

/// "Error Message": the one modeless window through which failures and missing
/// set-up reach the operator. OK unloads it; the next message creates it afresh.
class ErrorWindow : public QDialog
{
    Q_OBJECT
public:
    explicit ErrorWindow(QWidget* parent = nullptr);

    void setMessage(const QString& message);
    [[nodiscard]] QString message() const;

private:
    QLabel* m_lblMessage = nullptr;
    QPushButton* m_okButton = nullptr;
};

/// Owns the shared error window: shows it (creating it when it is not loaded) and
/// replaces its message; the last message wins.
class ErrorWindowHost : public QObject
{
    Q_OBJECT
public:
    explicit ErrorWindowHost(QWidget* windowParent);

    void showMessage(const QString& message);
    /// The loaded window, or null when it is not loaded.
    [[nodiscard]] ErrorWindow* window() const { return m_window; }
    /// Brings a visible error window to the front.
    void raiseIfVisible();

private:
    QWidget* m_windowParent;
    QPointer<ErrorWindow> m_window;
};

} // namespace dovrane
