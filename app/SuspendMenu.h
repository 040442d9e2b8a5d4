#pragma once

#include <QMenu>

class QLabel;

namespace dovrane {

class Station;

/// "Suspend alarms until …": a maintenance window chosen from the main window.
/// The label beside it says until when while alarms are suspended, and hides
/// when they are back.
class SuspendMenu final : public QMenu
{
    Q_OBJECT
public:
    SuspendMenu(Station& station, QLabel* label, QWidget* parent = nullptr);
};

} // namespace dovrane
