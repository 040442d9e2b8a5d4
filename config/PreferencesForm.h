#pragma once

#include <QString>

#include <array>
#include <optional>

namespace dovrane {

class ErrorReporter;
class ParamsFile;
class AlarmPlan;

/// What the Preferences window's controls hold, as plain values, so that loading
/// and saving the parameters file can be driven without a window. A default form
/// is the window's initial, empty state. Weekday slots 1 (Sunday) to 7 are used.
struct PreferencesForm
{
    /// The delay the window will save: the stored one until an lstTime entry is
    /// chosen, 0 when none.
    qint16 chosenDelay = 0;
    int delayRow = -1;               ///< selected lstTime entry (seconds - 1), -1 none
    int alarmOnly = 0;               ///< Check2: 0 unchecked, 1 checked, 2 grey
    int relayRow = -1;               ///< selected lstAlarmRelay entry, -1 none
    int deviceRow = -1;              ///< selected lstWaveIn entry = device number, -1 none
    int action = 0;                  ///< Option1: 1 "Send Page", 2 "Send Email", 0 neither
    QString threshold;               ///< txtThreshold
    std::array<int, 8> dayChecked{}; ///< Check1(d): 0, 1 or 2 (grey)
    std::array<QString, 8> start{};  ///< txtStart(d)
    std::array<QString, 8> stop{};   ///< txtStop(d)

    /// Values as stored, saved back unchanged while the user leaves their control
    /// alone: a time outside the day, a threshold longer than its box, a day flag
    /// other than 0 or 1 are kept rather than turned into what the control shows.
    std::optional<qint32> storedThreshold;
    std::array<std::optional<qint32>, 8> storedDayEnabled{};
    std::array<std::optional<qint32>, 8> storedStart{};
    std::array<std::optional<qint32>, 8> storedStop{};
};

/// Errors the Preferences window reports, as "<number> <description>".
namespace PreferencesError {
inline constexpr auto kOverflow = "6 Overflow";
inline constexpr auto kTypeMismatch = "13 Type mismatch";
inline constexpr auto kFileAccess = "75 Path/File access error";
inline constexpr auto kInvalidValue = "380 Invalid property value";
} // namespace PreferencesError

/// Filling the Preferences window from DVParams.dat and saving it back on close.
namespace Preferences {

inline constexpr int kRelayEntries = 1; ///< lstAlarmRelay holds "Off" only
inline constexpr int kDelayEntries = 99;

/// Fills form from the open file in the window's loading order (records 1, 2, 3,
/// 4, 5, 7, then 8..28 by weekday). Stops at the first stored value no control can
/// take (a delay above 99, a device number with no entry, ...), leaving the later
/// fields as they were, and returns that error.
[[nodiscard]] std::optional<QString> load(ParamsFile& file, int deviceCount, PreferencesForm& form);

enum class SaveResult
{
    Saved,
    NoDevice, ///< nothing written: no input device selected
    Failed,   ///< stopped at a value that could not be written; earlier ones stay
};

/// Writes form to the open file (records 1, 2, 3, 4, 5, 7, then 7+d, 14+d, 21+d
/// for each weekday) and puts the alarm action and the schedule into plan as it
/// goes. An empty threshold becomes "0" in form. Reports "WaveIn Device not
/// selected" or the failing step's error through errors, and closes the file.
SaveResult save(ParamsFile& file, PreferencesForm& form, AlarmPlan& plan, ErrorReporter& errors);

/// The threshold text as a 32-bit value: fractions round half to even; nullopt
/// with the error when the text is no number or too large.
[[nodiscard]] std::optional<qint32> thresholdValue(const QString& text, QString* error);

} // namespace Preferences

} // namespace dovrane
