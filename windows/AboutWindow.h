#pragma once

#include "SystemInfoTool.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace dovrane {

/// "About Dovrane": title, version, a short description and a button that starts the
/// desktop's system information tool.
class AboutWindow : public QDialog
{
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr, SystemInfoTool tool = SystemInfoTool());

    /// The caption of the window and of its message box.
    static constexpr const char* kAppTitle = "Dovrane";

    /// Starts the system information tool, or says it is unavailable.
    void StartSysInfo();

private:
    SystemInfoTool m_tool;
    QLabel* m_picIcon = nullptr;
    QLabel* m_lblTitle = nullptr;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_lblDescription = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdSysInfo = nullptr;
};

} // namespace dovrane
