#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace dovrane {

class ErrorReporter;
class Account;

/// "MyAccount": facility name, user name and password. Apply takes the texts over
/// at once and writes User.dat; closing (by any means) announces itself through
/// closed(), on which the main window reloads every data file.
class AccountWindow : public QWidget
{
    Q_OBJECT
public:
    AccountWindow(Account& account, const QString& userFilePath, ErrorReporter& errors,
                  QWidget* parent = nullptr);

    /// What Apply does: the shared texts change, then the file is written; a
    /// failed write is reported as "<number> <description>".
    void apply();

Q_SIGNALS:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Account& m_account;
    QString m_path;
    ErrorReporter& m_errors;

    QLineEdit* m_txtUserName = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QLineEdit* m_txtFacility = nullptr;
    QPushButton* m_cmdApply = nullptr;
    QPushButton* m_cmdClose = nullptr;
};

} // namespace dovrane
