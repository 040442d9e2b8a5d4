#pragma once

#include "RecordFile.h"

#include <QObject>

#include <memory>

namespace dovrane {

/// The call list (40-byte records) and the address book (120-byte records), open
/// from start-up to the end of the run. The start-up loader opens them again when
/// it runs again; whoever reads records asks for the handle at every use.
class DataFiles : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCallRecordLength = 40;
    static constexpr int kAddressRecordLength = 120;

    using QObject::QObject;
    ~DataFiles() override { close(); }

    /// null until opened.
    [[nodiscard]] RecordFile* callList() const { return m_callList.get(); }
    [[nodiscard]] RecordFile* addressBook() const { return m_addressBook.get(); }

    /// Closes the earlier handle first, so each file is open only once.
    [[nodiscard]] bool openCallList(const QString& path)
    {
        return reopen(m_callList, path, kCallRecordLength);
    }
    [[nodiscard]] bool openAddressBook(const QString& path)
    {
        return reopen(m_addressBook, path, kAddressRecordLength);
    }
    void close()
    {
        if (m_callList)
            m_callList->close();
        if (m_addressBook)
            m_addressBook->close();
    }
    /// Why the last open failed.
    [[nodiscard]] QString errorString() const { return m_error; }

Q_SIGNALS:
    /// A handle was replaced; anything that kept a record number may re-read.
    void reopened();

private:
    bool reopen(std::unique_ptr<RecordFile>& handle, const QString& path, int recordLength)
    {
        if (handle)
            handle->close();
        handle.reset();
        auto file = std::make_unique<RecordFile>(path, recordLength);
        if (!file->open()) {
            m_error = file->errorString();
            return false;
        }
        handle = std::move(file);
        Q_EMIT reopened();
        return true;
    }

    std::unique_ptr<RecordFile> m_callList;
    std::unique_ptr<RecordFile> m_addressBook;
    QString m_error;
};

} // namespace dovrane
