#pragma once

#include "DataPaths.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

namespace dovrane {

class ErrorReporter;
class SerialProfile;

/// "MyConnection": picks the modem's serial port and baud rate. A click in either
/// list changes ComPort or BaudRate at once, for the next call; Apply also saves
/// them to Connection.dat.
class ConnectionWindow : public QWidget
{
    Q_OBJECT
public:
    ConnectionWindow(SerialProfile& profile, DataPaths paths, ErrorReporter& errors,
                     QWidget* parent = nullptr);

private:
    void load();
    void onApply();

    SerialProfile& m_profile;
    DataPaths m_paths;
    ErrorReporter& m_errors;

    QLabel* m_label1 = nullptr;
    QListWidget* m_lstComPort = nullptr;
    QLabel* m_label2 = nullptr;
    QListWidget* m_lstBaudRate = nullptr;
    QPushButton* m_cmdApply = nullptr;
    QPushButton* m_cmdClose = nullptr;
};

} // namespace dovrane
