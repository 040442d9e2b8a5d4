#pragma once

#include "AddressRecord.h"

#include <QDate>
#include <QString>

#include <functional>

namespace dovrane {

class DataFiles;

/// The record operations on AddressBook.dat through the handle the start-up loader
/// keeps open. The loader may replace that handle, so it is
/// looked up for every call, and no record is ever cached: the window and the alarm
/// sender each read what they need afresh.
class AddressBook
{
public:
    explicit AddressBook(const DataFiles& files) : m_files(files) {}

    /// Record n; past the end (or with no open file) a zero record, and atEnd() true.
    [[nodiscard]] AddressRecord read(qint64 n);
    /// Stores record n, extending the file when n is past its end.
    [[nodiscard]] bool write(qint64 n, const AddressRecord& record);
    /// Writes '0' over the in-use flag of record n and leaves its other bytes alone.
    [[nodiscard]] bool markDeleted(qint64 n);
    /// True once the last read could not read a whole record.
    [[nodiscard]] bool atEnd() const;

    /// Visits records 1, 2, ... and stops after the read that hit the end, so record 1
    /// is always read and the last visit is a zero record. Deleted slots are visited
    /// too; callers skip what is not in use.
    void walk(const std::function<void(qint64 n, const AddressRecord& record)>& visit);
    /// The lowest record number whose slot is not in use (at most one past the end).
    [[nodiscard]] qint64 firstFree();

    /// Why the last write failed, for the error window.
    [[nodiscard]] QString errorString() const;

private:
    const DataFiles& m_files;
};

/// Whether an entry receives the alarm mail sent on weekday (1 = Sunday .. 7 =
/// Saturday) at secondsOfDay (with fraction). Sometimes needs the day checked and
/// start < time < stop, both strict, so a window that runs over midnight never
/// matches.
[[nodiscard]] bool receivesAlarmMail(const AddressRecord& entry, int weekday, double secondsOfDay);

/// 1 = Sunday .. 7 = Saturday (QDate counts Monday = 1 .. Sunday = 7).
[[nodiscard]] int sundayFirstWeekday(const QDate& date);

} // namespace dovrane
