#pragma once

#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"

#include <QObject>

namespace dovrane {

/// The daily alarm log: logs/ALyymmdd.log, one line per event, "hh:mm:ss " + text
/// + CR LF. The file is opened, appended to and closed for every line, so each line
/// is on disk when the call returns and the viewer can read while we write.
class AlarmLog : public QObject
{
    Q_OBJECT
public:
    AlarmLog(Clock& clock, DataPaths paths, ErrorReporter& errors, QObject* parent = nullptr);

    /// Appends text as one line to today's file. A failure is shown
    /// through the error reporter as "<number> <description>" and the line is lost.
    void WriteAlarmLog(const QString& text);

    /// The file a line written on date goes to.
    [[nodiscard]] QString fileFor(const QDate& date) const;

private:
    Clock& m_clock;
    DataPaths m_paths;
    ErrorReporter& m_errors;
};

} // namespace dovrane
