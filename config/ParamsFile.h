#pragma once

#include "RecordFile.h"

namespace dovrane {

class AlarmPlan;

/// DVParams.dat: records of one little-endian signed 32-bit value each. Every open
/// is shared and read/write; a missing file is created empty; a record not wholly
/// in the file reads 0; writing past the end zero-fills the gap.
class ParamsFile
{
public:
    static constexpr int kRecordLength = 4;
    static constexpr int kRecordCount = 28;

    enum Record : int
    {
        AlarmDelay = 1,
        AlarmOnly = 2,
        AlarmRelay = 3,
        InputDevice = 4,
        AlarmAction = 5,
        Threshold = 7,
        DayEnabledBase = 7, ///< + weekday 1..7
        DayStartSecsBase = 14,
        DayStopSecsBase = 21,
    };

    explicit ParamsFile(const QString& path);

    [[nodiscard]] bool open() { return m_file.open(); }
    void close() { m_file.close(); }
    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
    [[nodiscard]] qint32 read(int record);
    [[nodiscard]] bool write(int record, qint32 value);
    [[nodiscard]] QString errorString() const { return m_file.errorString(); }

private:
    RecordFile m_file;
};

/// The start-up read: record 5 into the page/e-mail choice (1 = page, 2 = e-mail, other
/// values neither) and records 8..28 into the weekly schedule. Opens and
/// closes the file; false when it cannot be opened.
[[nodiscard]] bool readAlarmActionAndSchedule(const QString& path, AlarmPlan& plan);

} // namespace dovrane
