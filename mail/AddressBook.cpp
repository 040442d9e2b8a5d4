#include "AddressBook.h"

#include "DataFiles.h"

#include <QDate>

namespace dovrane {

AddressRecord AddressBook::read(qint64 n)
{
    RecordFile* file = m_files.addressBook();
    if (!file)
        return {};
    return AddressRecord::fromBytes(file->read(n));
}

bool AddressBook::write(qint64 n, const AddressRecord& record)
{
    RecordFile* file = m_files.addressBook();
    return file && file->write(n, record.toBytes());
}

bool AddressBook::markDeleted(qint64 n)
{
    RecordFile* file = m_files.addressBook();
    if (!file)
        return false;
    QByteArray bytes = file->read(n);
    bytes[0] = '0';
    return file->write(n, bytes);
}

bool AddressBook::atEnd() const
{
    const RecordFile* file = m_files.addressBook();
    return !file || file->atEnd();
}

void AddressBook::walk(const std::function<void(qint64, const AddressRecord&)>& visit)
{
    for (qint64 n = 1;; ++n) {
        const AddressRecord record = read(n);
        visit(n, record);
        if (atEnd())
            return;
    }
}

qint64 AddressBook::firstFree()
{
    for (qint64 n = 1;; ++n) {
        if (!read(n).inUse() || atEnd())
            return n;
    }
}

QString AddressBook::errorString() const
{
    const RecordFile* file = m_files.addressBook();
    if (!file)
        return QStringLiteral("AddressBook.dat is not open");
    return file->errorString();
}

bool receivesAlarmMail(const AddressRecord& entry, int weekday, double secondsOfDay)
{
    if (!entry.inUse())
        return false;
    switch (entry.SendOption) {
    case '1':
        return true;
    case '2':
        if (weekday < 1 || weekday > 7)
            return false;
        return entry.DayChecked[weekday] == '1' && secondsOfDay > entry.StartSecs[weekday] &&
               secondsOfDay < entry.StopSecs[weekday];
    default:
        return false;
    }
}

int sundayFirstWeekday(const QDate& date)
{
    return date.dayOfWeek() % 7 + 1;
}

} // namespace dovrane
