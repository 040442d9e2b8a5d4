#pragma once

#include "RecordFile.h"

#include <QString>

#include <array>
#include <memory>

namespace dovrane {

/// The values the windows, the sensor and the notification paths share for the whole
/// run. One instance, owned by the application and handed to whoever needs it.
/// Weekday arrays use slots 1 (Sunday) to 7 (Saturday); slot 0 is not used.
struct AppState
{
    bool SensorRunning = false;
    bool AlarmOn = false;
    qint32 SilenceSecs = 0;
    qint16 DayOfWeek = 0;
    QString LogText;

    bool SendPage = false;
    bool SendEmail = false;
    std::array<qint16, 8> DayEnabled{};
    std::array<qint32, 8> DayStartSecs{};
    std::array<qint32, 8> DayStopSecs{};

    QString Facility;
    QString UserName;
    QString Password;

    qint16 ComPort = 0;
    QString BaudRate;

    /// CallList.dat (40-byte records) and AddressBook.dat (120-byte records), open
    /// from start-up to the end of the run; null until the loader opened them.
    std::unique_ptr<RecordFile> CallListFile;
    std::unique_ptr<RecordFile> AddressBookFile;

    QString MailSubject;
    QString MailBody;
};

} // namespace dovrane
