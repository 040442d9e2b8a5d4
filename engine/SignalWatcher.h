#pragma once

#include <QObject>

namespace dovrane {

/// Turns SIGTERM and SIGINT into terminateRequested() and SIGHUP into
/// reloadRequested(), delivered through the event loop (a signal handler may do
/// nothing but write a byte). One per process.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);

Q_SIGNALS:
    void terminateRequested();
    void reloadRequested();
};

} // namespace dovrane
