#include "CallList.h"

#include "RecordFile.h"
#include "TextField.h"

namespace dovrane::CallList {

CallRecord split(const QByteArray& record)
{
    QByteArray bytes = record.left(kRecordLength);
    if (bytes.size() < kRecordLength)
        bytes.append(QByteArray(kRecordLength - bytes.size(), '\0'));
    return CallRecord{TextField::decode(bytes.mid(0, 1)),
                      TextField::decode(bytes.mid(1, kNameWidth)),
                      TextField::decode(bytes.mid(1 + kNameWidth, kNumberWidth))};
}

QByteArray join(const QString& enabled, const QString& name, const QString& number)
{
    return TextField::fixed(enabled, 1) + TextField::fixed(name, kNameWidth) +
           TextField::fixed(number, kNumberWidth);
}

bool read(RecordFile* file, qint64 n, QByteArray& buffer)
{
    if (!file) {
        buffer = QByteArray(kRecordLength, '\0');
        return false;
    }
    buffer = file->read(n);
    return !file->atEnd();
}

bool write(RecordFile* file, qint64 n, const QByteArray& record)
{
    return file && file->write(n, record);
}

void walk(RecordFile* file, const std::function<void(qint64, const CallRecord&)>& visit)
{
    QByteArray buffer;
    for (qint64 n = 1; read(file, n, buffer); ++n)
        visit(n, split(buffer));
}

qint64 firstFree(RecordFile* file)
{
    QByteArray buffer;
    for (qint64 n = 1;; ++n) {
        const bool inFile = read(file, n, buffer);
        if (!split(buffer).inUse() || !inFile)
            return n;
    }
}

bool remove(RecordFile* file, qint64 n)
{
    QByteArray buffer;
    read(file, n, buffer);
    buffer[0] = '0';
    return write(file, n, buffer);
}

} // namespace dovrane::CallList
