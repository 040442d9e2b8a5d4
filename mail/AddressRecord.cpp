#include "AddressRecord.h"

#include "TextField.h"

namespace dovrane {

namespace {

constexpr int kInUseOffset = 0;
constexpr int kOptionOffset = 1;
constexpr int kNameOffset = 2;
constexpr int kAddressOffset = 18;
constexpr int kDaysOffset = 57;
constexpr int kStartOffset = 64;
constexpr int kStopOffset = 92;

} // namespace

AddressRecord AddressRecord::fromBytes(const QByteArray& input)
{
    QByteArray bytes = input.left(kLength);
    if (bytes.size() < kLength)
        bytes.append(QByteArray(kLength - bytes.size(), '\0'));

    AddressRecord r;
    r.InUse = bytes.at(kInUseOffset);
    r.SendOption = bytes.at(kOptionOffset);
    r.ContactName = TextField::decode(bytes.mid(kNameOffset, kNameWidth));
    r.Address = TextField::decode(bytes.mid(kAddressOffset, kAddressWidth));
    for (int day = 1; day <= 7; ++day) {
        r.DayChecked[day] = bytes.at(kDaysOffset + day - 1);
        r.StartSecs[day] = readInt32LE(bytes, kStartOffset + (day - 1) * 4);
        r.StopSecs[day] = readInt32LE(bytes, kStopOffset + (day - 1) * 4);
    }
    return r;
}

QByteArray AddressRecord::toBytes() const
{
    QByteArray bytes(kLength, '\0');
    bytes[kInUseOffset] = InUse;
    bytes[kOptionOffset] = SendOption;
    bytes.replace(kNameOffset, kNameWidth, TextField::fixed(ContactName, kNameWidth));
    bytes.replace(kAddressOffset, kAddressWidth, TextField::fixed(Address, kAddressWidth));
    for (int day = 1; day <= 7; ++day) {
        bytes[kDaysOffset + day - 1] = DayChecked[day];
        writeInt32LE(bytes, kStartOffset + (day - 1) * 4, StartSecs[day]);
        writeInt32LE(bytes, kStopOffset + (day - 1) * 4, StopSecs[day]);
    }
    return bytes;
}

void AddressRecord::setContactName(const QString& name)
{
    ContactName = TextField::padded(name, kNameWidth);
}

void AddressRecord::setAddress(const QString& address)
{
    Address = TextField::padded(address, kAddressWidth);
}

} // namespace dovrane
