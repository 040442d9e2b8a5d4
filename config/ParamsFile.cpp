#include "ParamsFile.h"

#include "AlarmPlan.h"
#include "TextField.h"

namespace dovrane {

ParamsFile::ParamsFile(const QString& path) : m_file(path, kRecordLength) {}

qint32 ParamsFile::read(int record)
{
    return readInt32LE(m_file.read(record), 0);
}

bool ParamsFile::write(int record, qint32 value)
{
    QByteArray bytes(kRecordLength, '\0');
    writeInt32LE(bytes, 0, value);
    return m_file.write(record, bytes);
}

bool readAlarmActionAndSchedule(const QString& path, AlarmPlan& plan)
{
    ParamsFile file(path);
    if (!file.open())
        return false;
    switch (file.read(ParamsFile::AlarmAction)) {
    case 1:
        plan.setSendPage(true);
        break;
    case 2:
        plan.setSendEmail(true);
        break;
    default:
        break;
    }
    for (int d = 1; d <= 7; ++d) {
        // The enabled flag is a 16-bit field; the record keeps 32 bits.
        plan.setDayEnabled(d, static_cast<qint16>(file.read(ParamsFile::DayEnabledBase + d)));
        plan.setDayStartSecs(d, file.read(ParamsFile::DayStartSecsBase + d));
        plan.setDayStopSecs(d, file.read(ParamsFile::DayStopSecsBase + d));
    }
    file.close();
    return true;
}

} // namespace dovrane
