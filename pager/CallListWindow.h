#pragma once

#include <QMainWindow>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace dovrane {

class ErrorReporter;
class DataFiles;

/// "Call List": lists the call list entries in use, sorted by name, and adds,
/// changes and deletes them. Every Apply or Delete goes to CallList.dat at once
/// through the handle the start-up loader keeps open.
class CallListWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit CallListWindow(const DataFiles& files, ErrorReporter& errors,
                            QWidget* parent = nullptr);

    /// Record number of the entry being edited (0 before New or a selection).
    [[nodiscard]] qint32 currentRecord() const { return m_currentRecord; }
    /// The blank-padded name (15) and number (24) that Apply would store.
    [[nodiscard]] QString editName() const { return m_editName; }
    [[nodiscard]] QString editNumber() const { return m_editNumber; }

    /// A list line: name (15) + blank + number (24).
    [[nodiscard]] static QString listLine(const QString& name, const QString& number);

private:
    void reloadList();
    void onSelectionChanged();
    void onNew();
    void onApply();
    void onDelete();
    void setEditorVisible(bool visible);
    void reportWriteFailure();

    const DataFiles& m_files;
    ErrorReporter& m_errors;
    qint32 m_currentRecord = 0;
    QString m_editName;
    QString m_editNumber;
    /// The window's own record buffer, never shared with the pager dialer.
    QByteArray m_record;

    QListWidget* m_list1 = nullptr;
    QLabel* m_label1 = nullptr;
    QLineEdit* m_txtName = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_txtNumber = nullptr;
    QPushButton* m_cmdApply = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QLabel* m_label3 = nullptr;
    QAction* m_mnuNew = nullptr;
    QAction* m_mnuDelete = nullptr;
};

} // namespace dovrane
