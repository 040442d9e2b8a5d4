#include "SuspendMenu.h"

#include "AlarmSuspension.h"
#include "Station.h"

#include <QLabel>

namespace dovrane {

SuspendMenu::SuspendMenu(Station& station, QLabel* label, QWidget* parent)
    : QMenu(QStringLiteral("Alar&ms"), parent)
{
    AlarmSuspension* suspension = &station.suspension();
    setObjectName(QStringLiteral("mnuAlarms"));
    QMenu* until = addMenu(QStringLiteral("&Suspend alarms until …"));
    until->setObjectName(QStringLiteral("mnuSuspend"));
    const std::pair<int, const char*> choices[] = {
        {15, "15 minutes from now"}, {30, "30 minutes from now"}, {60, "1 hour from now"},
        {120, "2 hours from now"},   {240, "4 hours from now"},   {480, "8 hours from now"},
    };
    for (const auto& [choice, caption] : choices) {
        const auto minutes = choice; // a copy the lambda can take
        QAction* action = until->addAction(QString::fromLatin1(caption));
        action->setObjectName(QStringLiteral("mnuSuspend%1").arg(minutes));
        connect(action, &QAction::triggered, suspension, [suspension, minutes] {
            suspension->suspendFor(qint64(minutes) * 60, QStringLiteral("the window"));
        });
    }
    QAction* resume = addAction(QStringLiteral("&Resume alarms"));
    resume->setObjectName(QStringLiteral("mnuResume"));
    resume->setEnabled(false);
    connect(resume, &QAction::triggered, suspension,
            [suspension] { suspension->resume(QStringLiteral("the window")); });

    label->setObjectName(QStringLiteral("lblSuspended"));
    label->setStyleSheet(QStringLiteral("QLabel { color: #a05000; font-weight: bold; }"));
    label->hide();
    connect(suspension, &AlarmSuspension::changed, label, [label, resume](const QDateTime& when) {
        resume->setEnabled(when.isValid());
        label->setVisible(when.isValid());
        label->setText(QStringLiteral("Alarms suspended until ") +
                       when.toString(QStringLiteral("HH:mm")));
    });
}

} // namespace dovrane
