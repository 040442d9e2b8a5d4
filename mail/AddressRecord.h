#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace dovrane {

/// One 120-byte slot of AddressBook.dat. The texts keep their stored form (blank
/// padded to the field width) because the alarm log and the list show them that way;
/// trim them where an address is used or shown in a field.
struct AddressRecord
{
    static constexpr int kLength = 120;
    static constexpr int kNameWidth = 16;
    static constexpr int kAddressWidth = 39;

    char InUse = '\0';
    /// '0' Never, '1' Always, '2' Sometimes; any other byte is treated as Never.
    char SendOption = '\0';
    QString ContactName;
    QString Address;
    /// Slots 1 (Sunday) .. 7 (Saturday) hold '1' checked or '0' unchecked.
    std::array<char, 8> DayChecked{};
    std::array<qint32, 8> StartSecs{};
    std::array<qint32, 8> StopSecs{};

    /// Decodes a record; a short or empty buffer reads as zero bytes.
    [[nodiscard]] static AddressRecord fromBytes(const QByteArray& bytes);
    [[nodiscard]] QByteArray toBytes() const;

    [[nodiscard]] bool inUse() const { return InUse == '1'; }
    /// Sets a text field as the file will hold it: cut to width, padded with blanks.
    void setContactName(const QString& name);
    void setAddress(const QString& address);
};

} // namespace dovrane
