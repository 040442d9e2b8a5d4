#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;

namespace dovrane {

class ErrorReporter;
class Settings;
class SettingsPage;

/// "Dovrane Settings" (Setup menu): a tab for each feature that goes beyond the
/// data files. OK checks every page, writes them all and has the station read the
/// file again; Cancel or closing the window leaves the file as it was.
class SettingsWindow : public QWidget
{
    Q_OBJECT
public:
    SettingsWindow(Settings& settings, QList<SettingsPage*> pages, ErrorReporter& errors,
                   QWidget* parent = nullptr);

    /// What OK does; false (and the problems shown in lblProblems) when a page
    /// refuses its entries or the file cannot be written.
    bool apply();

private:
    Settings& m_settings;
    ErrorReporter& m_errors;
    QList<SettingsPage*> m_pages;
    QTabWidget* m_tabs = nullptr;
    QLabel* m_lblProblems = nullptr;
};

} // namespace dovrane
