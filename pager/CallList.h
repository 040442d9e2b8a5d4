#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace dovrane {

class RecordFile;

/// One entry of CallList.dat as the record holds it: the in-use flag (1 character),
/// the name (15) and the number (24), blanks included.
struct CallRecord
{
    QString CallEnabled;
    QString CallName;
    QString CallNumber;

    /// Only "1" marks an entry in use; "0", a zero byte or anything else does not.
    [[nodiscard]] bool inUse() const { return CallEnabled == QLatin1String("1"); }
};

/// The record operations on CallList.dat: 40-byte records numbered from 1, no header.
/// Callers pass the file handle they look up at that moment, because the start-up
/// loader may replace it between two events.
namespace CallList {

constexpr int kRecordLength = 40;
constexpr int kNameWidth = 15;
constexpr int kNumberWidth = 24;

/// The three fields of a 40-byte record (shorter input reads as zero-padded).
[[nodiscard]] CallRecord split(const QByteArray& record);
/// enabled (1) + name (15) + number (24), each cut or blank-padded, Windows-1252.
[[nodiscard]] QByteArray join(const QString& enabled, const QString& name, const QString& number);

/// Reads record n into buffer and reports whether it lay wholly inside the file.
/// Past the end the buffer holds zero bytes (an entry not in use).
bool read(RecordFile* file, qint64 n, QByteArray& buffer);
[[nodiscard]] bool write(RecordFile* file, qint64 n, const QByteArray& record);

/// Visits records 1, 2, ... up to the first read that meets the end of the file.
void walk(RecordFile* file, const std::function<void(qint64, const CallRecord&)>& visit);

/// The lowest record number whose entry is not in use; a deleted slot is reused
/// before the file grows.
[[nodiscard]] qint64 firstFree(RecordFile* file);

/// Rewrites only the in-use flag of record n with "0".
[[nodiscard]] bool remove(RecordFile* file, qint64 n);

} // namespace CallList

} // namespace dovrane
