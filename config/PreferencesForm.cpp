#include "PreferencesForm.h"

#include "AlarmPlan.h"
#include "ErrorReporter.h"
#include "ParamsFile.h"
#include "TimeOfDay.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace dovrane::Preferences {

namespace {

// A check box takes 0 (unchecked), 1 (checked) and 2 (grey); anything else
// stored in its record cannot be shown.
bool isCheckValue(qint32 value)
{
    return value >= 0 && value <= 2;
}

QString message(const char* text)
{
    return QString::fromLatin1(text);
}

// An empty time field stands for midnight; any other text must be a time of day.
std::optional<qint32> timeValue(const QString& text)
{
    if (text.isEmpty())
        return 0;
    return TimeOfDay::parse(text);
}

// A stored time outside the day is shown as the number it is, not as the time of
// day it would wrap to.
QString timeText(qint32 seconds)
{
    if (seconds < 0 || seconds >= 86400)
        return QString::number(seconds);
    return TimeOfDay::longText(seconds);
}

constexpr const char* kDayShort[8] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Saving stops at the first value it cannot take; the message names that field,
// says what it accepts, and what was and was not saved.
QString stopMessage(const QString& error, const QString& text, const QString& field,
                    const QString& accepted)
{
    return QStringLiteral("%1: \"%2\" is not %3 (%4). What comes before it was saved, %4 "
                          "and what follows it were not.")
        .arg(error, text, accepted, field);
}

// Closes the parameters file however saving ends.
class CloseOnExit
{
public:
    explicit CloseOnExit(ParamsFile& file) : m_file(file) {}
    ~CloseOnExit() { m_file.close(); }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

private:
    ParamsFile& m_file;
};

} // namespace

std::optional<QString> load(ParamsFile& file, int deviceCount, PreferencesForm& form)
{
    if (!file.isOpen() && !file.open())
        return message(PreferencesError::kFileAccess);

    const qint32 delay = file.read(ParamsFile::AlarmDelay);
    if (delay < std::numeric_limits<qint16>::min() || delay > std::numeric_limits<qint16>::max())
        return message(PreferencesError::kOverflow);
    form.chosenDelay = static_cast<qint16>(delay);
    if (delay < 0 || delay > kDelayEntries)
        return message(PreferencesError::kInvalidValue);
    form.delayRow = delay - 1;

    const qint32 alarmOnly = file.read(ParamsFile::AlarmOnly);
    if (!isCheckValue(alarmOnly))
        return message(PreferencesError::kInvalidValue);
    form.alarmOnly = alarmOnly;

    const qint32 relay = file.read(ParamsFile::AlarmRelay);
    if (relay < -1 || relay >= kRelayEntries)
        return message(PreferencesError::kInvalidValue);
    form.relayRow = relay;

    // Entry i of the device list is device number i, so the number is the row.
    const qint32 device = file.read(ParamsFile::InputDevice);
    if (deviceCount == 0 && device >= 0)
        return QStringLiteral("No sound input device is installed");
    if (device < -1 || device >= deviceCount)
        return message(PreferencesError::kInvalidValue);
    form.deviceRow = device;

    const qint32 action = file.read(ParamsFile::AlarmAction);
    form.action = (action == 1 || action == 2) ? action : 0;

    form.storedThreshold = file.read(ParamsFile::Threshold);
    form.threshold = QString::number(*form.storedThreshold);

    for (int d = 1; d <= 7; ++d) {
        const qint32 enabled = file.read(ParamsFile::DayEnabledBase + d);
        if (!isCheckValue(enabled))
            return message(PreferencesError::kInvalidValue);
        // Only 1 switches a day on, so the box shows two states.
        form.dayChecked[d] = enabled == 1 ? 1 : 0;
        form.storedDayEnabled[d] = enabled;
        const qint32 start = file.read(ParamsFile::DayStartSecsBase + d);
        const qint32 stop = file.read(ParamsFile::DayStopSecsBase + d);
        form.storedStart[d] = start;
        form.storedStop[d] = stop;
        form.start[d] = timeText(start);
        form.stop[d] = timeText(stop);
    }
    return std::nullopt;
}

std::optional<qint32> thresholdValue(const QString& text, QString* error)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value)) {
        if (error)
            *error = message(PreferencesError::kTypeMismatch);
        return std::nullopt;
    }
    // The size test comes first: rounding a huge value into 64 bits is undefined.
    const qint64 rounded =
        std::abs(value) > 4.0e9 ? std::numeric_limits<qint64>::max() : roundHalfEven(value);
    if (rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max()) {
        if (error)
            *error = message(PreferencesError::kOverflow);
        return std::nullopt;
    }
    return static_cast<qint32>(rounded);
}

SaveResult save(ParamsFile& file, PreferencesForm& form, AlarmPlan& plan, ErrorReporter& errors)
{
    const CloseOnExit closer(file);
    if (form.deviceRow < 0) {
        errors.report(QStringLiteral("WaveIn Device not selected"));
        return SaveResult::NoDevice;
    }
    if (!file.isOpen() && !file.open()) {
        errors.report(message(PreferencesError::kFileAccess));
        return SaveResult::Failed;
    }
    auto put = [&](int record, qint32 value) {
        if (file.write(record, value))
            return true;
        errors.report(message(PreferencesError::kFileAccess));
        return false;
    };

    if (!put(ParamsFile::AlarmDelay, form.chosenDelay) ||
        !put(ParamsFile::AlarmOnly, form.alarmOnly) ||
        !put(ParamsFile::AlarmRelay, form.relayRow) ||
        !put(ParamsFile::InputDevice, form.deviceRow) || !put(ParamsFile::AlarmAction, form.action))
        return SaveResult::Failed;
    // Neither option chosen leaves the running alarm action as it was.
    if (form.action == 1) {
        plan.setSendPage(true);
        plan.setSendEmail(false);
    } else if (form.action == 2) {
        plan.setSendPage(false);
        plan.setSendEmail(true);
    }

    if (form.threshold.isEmpty())
        form.threshold = QStringLiteral("0");
    QString error;
    const std::optional<qint32> threshold =
        form.storedThreshold ? form.storedThreshold : thresholdValue(form.threshold, &error);
    if (!threshold) {
        errors.report(stopMessage(error, form.threshold, QStringLiteral("Threshold"),
                                  QStringLiteral("a whole number from 0 to 32767")));
        return SaveResult::Failed;
    }
    if (!put(ParamsFile::Threshold, *threshold))
        return SaveResult::Failed;

    for (int d = 1; d <= 7; ++d) {
        const qint32 enabled = form.storedDayEnabled[d].value_or(form.dayChecked[d]);
        plan.setDayEnabled(d, static_cast<qint16>(enabled));
        if (!put(ParamsFile::DayEnabledBase + d, enabled))
            return SaveResult::Failed;

        const std::optional<qint32> start =
            form.storedStart[d] ? form.storedStart[d] : timeValue(form.start[d]);
        if (!start) {
            errors.report(stopMessage(message(PreferencesError::kTypeMismatch), form.start[d],
                                      QStringLiteral("%1 Start").arg(QLatin1String(kDayShort[d])),
                                      QStringLiteral("a time of day")));
            return SaveResult::Failed;
        }
        plan.setDayStartSecs(d, *start);
        if (!put(ParamsFile::DayStartSecsBase + d, *start))
            return SaveResult::Failed;

        const std::optional<qint32> stop =
            form.storedStop[d] ? form.storedStop[d] : timeValue(form.stop[d]);
        if (!stop) {
            errors.report(stopMessage(message(PreferencesError::kTypeMismatch), form.stop[d],
                                      QStringLiteral("%1 Stop").arg(QLatin1String(kDayShort[d])),
                                      QStringLiteral("a time of day")));
            return SaveResult::Failed;
        }
        plan.setDayStopSecs(d, *stop);
        if (!put(ParamsFile::DayStopSecsBase + d, *stop))
            return SaveResult::Failed;
    }
    return SaveResult::Saved;
}

} // namespace dovrane::Preferences
