#pragma once

#include "AlarmLogReader.h"

#include <QDialog>

class QListWidget;
class QPushButton;
class QRadioButton;

namespace dovrane {

/// "Alarm Logs": the operator picks a day and reads its alarm log, in the order the
/// events happened or sorted by event text. It lists the log files afresh each time
/// it is created and never writes anything.
class AlarmLogsWindow : public QDialog
{
    Q_OBJECT
public:
    explicit AlarmLogsWindow(DataPaths paths, QWidget* parent = nullptr);

    /// Shows the selected day's log, or returns from a shown log to the list of days.
    void cmdOkClick();

    /// The single entry of an empty list of days.
    static constexpr const char* kNoLogs = "No Logs";

private:
    void loadDates();
    void showLog();
    void showChoosing();
    /// Puts the name of each fault's clip beside its line; activating the line plays it.
    void markClips(const QString& entry);
    [[nodiscard]] bool isReading() const;

    AlarmLogReader m_reader;
    QString m_clipsDir;
    QListWidget* m_lstDate = nullptr;
    QRadioButton* m_option1 = nullptr;
    QRadioButton* m_option2 = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QListWidget* m_lstActivityLog = nullptr;
    QListWidget* m_lstSort = nullptr;
    QListWidget* m_file1 = nullptr;
};

} // namespace dovrane
