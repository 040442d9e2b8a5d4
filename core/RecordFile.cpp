#include "RecordFile.h"

namespace dovrane {

RecordFile::RecordFile(QString path, int recordLength) : m_file(path), m_recordLength(recordLength)
{}

RecordFile::~RecordFile() = default;

bool RecordFile::open()
{
    m_atEnd = false;
    return m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void RecordFile::close()
{
    m_file.close();
}

QByteArray RecordFile::read(qint64 n)
{
    QByteArray record(m_recordLength, '\0');
    if (n < 1 || !m_file.isOpen() || !m_file.seek((n - 1) * m_recordLength)) {
        m_atEnd = true;
        return record;
    }
    QByteArray got = m_file.read(m_recordLength);
    if (got.size() != m_recordLength) {
        m_atEnd = true;
        return record;
    }
    m_atEnd = false;
    return got;
}

bool RecordFile::write(qint64 n, const QByteArray& data)
{
    if (n < 1 || !m_file.isOpen())
        return false;
    const qint64 offset = (n - 1) * m_recordLength;
    // seek() past the end followed by a write leaves a hole that reads as zeros.
    if (!m_file.seek(offset))
        return false;
    QByteArray record = data.left(m_recordLength);
    if (record.size() < m_recordLength)
        record.append(QByteArray(m_recordLength - record.size(), '\0'));
    return m_file.write(record) == m_recordLength;
}

qint64 RecordFile::recordCount() const
{
    return m_file.size() / m_recordLength;
}

} // namespace dovrane
