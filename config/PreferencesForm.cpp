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
    if (device < -1 || device >= deviceCount)
        return message(PreferencesError::kInvalidValue);
    form.deviceRow = device;

    const qint32 action = file.read(ParamsFile::AlarmAction);
    form.action = (action == 1 || action == 2) ? action : 0;

    form.threshold = QString::number(file.read(ParamsFile::Threshold));

    for (int d = 1; d <= 7; ++d) {
        const qint32 enabled = file.read(ParamsFile::DayEnabledBase + d);
        if (!isCheckValue(enabled))
            return message(PreferencesError::kInvalidValue);
        form.dayChecked[d] = enabled;
        form.start[d] = TimeOfDay::longText(file.read(ParamsFile::DayStartSecsBase + d));
        form.stop[d] = TimeOfDay::longText(file.read(ParamsFile::DayStopSecsBase + d));
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
    const std::optional<qint32> threshold = thresholdValue(form.threshold, &error);
    if (!threshold) {
        errors.report(error);
        return SaveResult::Failed;
    }
    if (!put(ParamsFile::Threshold, *threshold))
        return SaveResult::Failed;

    for (int d = 1; d <= 7; ++d) {
        plan.setDayEnabled(d, static_cast<qint16>(form.dayChecked[d]));
        if (!put(ParamsFile::DayEnabledBase + d, form.dayChecked[d]))
            return SaveResult::Failed;

        const std::optional<qint32> start = timeValue(form.start[d]);
        if (!start) {
            errors.report(message(PreferencesError::kTypeMismatch));
            return SaveResult::Failed;
        }
        plan.setDayStartSecs(d, *start);
        if (!put(ParamsFile::DayStartSecsBase + d, *start))
            return SaveResult::Failed;

        const std::optional<qint32> stop = timeValue(form.stop[d]);
        if (!stop) {
            errors.report(message(PreferencesError::kTypeMismatch));
            return SaveResult::Failed;
        }
        plan.setDayStopSecs(d, *stop);
        if (!put(ParamsFile::DayStopSecsBase + d, *stop))
            return SaveResult::Failed;
    }
    return SaveResult::Saved;
}

} // namespace dovrane::Preferences
