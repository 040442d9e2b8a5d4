#pragma once

#include "DataPaths.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace dovrane {

/// Reads the daily alarm logs for the viewer: lists the log files, turns their names
/// into mm/dd/yy entries and back, and reads a day's lines. It never writes and never
/// holds a log open, so the monitor can keep appending to today's file.
class AlarmLogReader
{
public:
    explicit AlarmLogReader(DataPaths paths);

    /// Names of the log files matching "AL*.*", ascending by name with case ignored;
    /// hidden and system files are left out.
    [[nodiscard]] QStringList logFiles() const;

    /// "AL060712.log" gives "07/12/06": characters 5-6, 7-8 and 3-4 of the name.
    [[nodiscard]] static QString entryFor(const QString& fileName);
    /// "07/12/06" gives "AL060712.log"; empty when the entry is not a month/day/year date.
    [[nodiscard]] static QString fileNameFor(const QString& entry);

    /// The lines of the entry's log as stored (blank lines kept), or nothing when the
    /// file is absent, empty, unreadable or the entry is not a date.
    [[nodiscard]] std::optional<QStringList> read(const QString& entry) const;

    /// "08:15:02 Timed Start Sensor" gives "Timed Start Sensor 08:15:02".
    [[nodiscard]] static QString byEvent(const QString& line);
    /// The lines rearranged by byEvent() and sorted ascending with case ignored;
    /// equal entries keep the order of the file.
    [[nodiscard]] static QStringList sortedByEvent(const QStringList& lines);

    /// The single line shown for a day without a log.
    [[nodiscard]] static QString missingText(const QString& entry);

    /// Splits single-byte log text at CR LF (a lone CR or LF also ends a line).
    [[nodiscard]] static QStringList splitLines(const QByteArray& bytes);

private:
    /// The file of that name in the log folder, matched without regard to case.
    [[nodiscard]] QString pathOf(const QString& fileName) const;

    DataPaths m_paths;
};

} // namespace dovrane
