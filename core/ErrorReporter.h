#pragma once

#include <QObject>
#include <QString>

namespace dovrane {

/// The one channel through which logic reports failures and missing set-up to the
/// operator. The main window shows every report in the shared error window; tests
/// watch the signal. Reporting never stops the caller's work.
class ErrorReporter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void report(const QString& message) { Q_EMIT reported(message); }

Q_SIGNALS:
    void reported(const QString& message);
};

} // namespace dovrane
