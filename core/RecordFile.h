#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace dovrane {

/// A random-access file of fixed-length records numbered from 1, with no header.
/// Opening a missing file creates it empty. Reading a record that is not wholly in
/// the file gives all zero bytes and sets the end-of-file indication; writing past
/// the end extends the file, zero-filling any gap. Every open is independent and
/// unbuffered, so several opens of one file see each other's writes at once.
class RecordFile
{
public:
    RecordFile(QString path, int recordLength);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    /// Opens for reading and writing, creating the file when missing.
    [[nodiscard]] bool open();
    void close();
    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }

    /// Record n (n >= 1). Past the end: recordLength zero bytes and atEnd() true.
    [[nodiscard]] QByteArray read(qint64 n);
    /// Stores data (cut or zero-padded to the record length) at record n.
    [[nodiscard]] bool write(qint64 n, const QByteArray& data);
    /// True once the last read could not read a whole record.
    [[nodiscard]] bool atEnd() const { return m_atEnd; }

    [[nodiscard]] qint64 recordCount() const;
    [[nodiscard]] int recordLength() const { return m_recordLength; }
    [[nodiscard]] QString path() const { return m_file.fileName(); }
    [[nodiscard]] QString errorString() const { return m_file.errorString(); }

private:
    QFile m_file;
    int m_recordLength;
    bool m_atEnd = false;
};

} // namespace dovrane
