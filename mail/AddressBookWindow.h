#pragma once

#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace dovrane {

class AlarmMailer;
class ErrorReporter;
class DataFiles;

/// Where Apply leaves the address book list: the selected line and the top line. It
/// outlives the window (the main window keeps it for the whole run).
struct AddressBookListPosition
{
    int selectedIndex = 0;
    int topIndex = 0;
};

/// "Address Book": lists the entries of AddressBook.dat sorted by their line text and
/// edits one at a time. Apply and Delete write to the file at once; closing saves
/// nothing. Controls of the weekday rows are named Check1_1..Check1_7,
/// txtStart_1..txtStart_7 and txtStop_1..txtStop_7 (1 = Sunday), and the option
/// buttons opt1_0 (Never), opt1_1 (Always) and opt1_2 (Sometimes).
class AddressBookWindow : public QWidget
{
    Q_OBJECT
public:
    AddressBookWindow(const DataFiles& files, AlarmMailer& mailer, ErrorReporter& errors,
                      AddressBookListPosition& position, QWidget* parent = nullptr);

    void LoadAddressBook();
    [[nodiscard]] qint64 currentRecord() const { return m_currentRecord; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void showSelected();
    void applyOptionRule();
    void setEntryFieldsVisible(bool visible);
    void onNew();
    void onApply();
    void onDelete();
    void onTest();
    [[nodiscard]] qint64 selectedRecord() const;

    const DataFiles& m_files;
    AlarmMailer& m_mailer;
    ErrorReporter& m_errors;
    AddressBookListPosition& m_position;
    qint64 m_currentRecord = 0;

    QListWidget* m_list1 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    QLabel* m_lblStatus = nullptr;
    QLabel* m_label8 = nullptr;
    QLineEdit* m_txtName = nullptr;
    QLineEdit* m_txtNumber = nullptr;
    std::array<QCheckBox*, 8> m_check1{};
    std::array<QLineEdit*, 8> m_txtStart{};
    std::array<QLineEdit*, 8> m_txtStop{};
    QButtonGroup* m_opt1 = nullptr;
    std::array<QRadioButton*, 3> m_optButtons{};
    QPushButton* m_cmdTest = nullptr;
    QPushButton* m_cmdApply = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QPushButton* m_cmdNew = nullptr;
    QPushButton* m_cmdDelete = nullptr;
};

} // namespace dovrane
