#pragma once

#include <QString>
#include <QTime>

#include <optional>

namespace dovrane {

/// Times of day as the data files keep them: seconds after midnight,
/// hour * 3600 + minute * 60 + second. 0 is both midnight and an empty field.
namespace TimeOfDay {

[[nodiscard]] int fromTime(const QTime& time);
/// hour = value div 3600, minute = (value mod 3600) div 60, second = value mod 60.
/// Values outside 0..86399 are wrapped into the day.
[[nodiscard]] QTime toTime(int seconds);

/// The long time format of the default locale (QLocale(), which follows the
/// system's unless changed) without its time-zone part, e.g. "h:mm:ss AP".
[[nodiscard]] QString longFormat();

/// The text shown in time fields: the time in longFormat(), e.g. "8:30:00 AM" or
/// "08:30:00". parse() reads every such text back to the same seconds.
[[nodiscard]] QString longText(int seconds);

/// Reads what an operator types: every text longText() gives, and 24-hour or
/// 12-hour times with or without minutes and seconds, with or without AM/PM
/// ("20:15", "8:15 pm", "08:15:00 PM", "7", "7 a.m.", "12:00 AM"). Blanks around
/// the text and a leading date part ("6/15/2006 20:15") are ignored.
/// nullopt when the text is not a time of day.
[[nodiscard]] std::optional<int> parse(const QString& text);

} // namespace TimeOfDay

/// Rounds to the nearest whole number, half-way values to the even one
/// (0.5 -> 0, 1.5 -> 2, 86399.5 -> 86400).
[[nodiscard]] qint64 roundHalfEven(double value);

/// "<errno> <description>" for a system error number, as the error window shows it.
[[nodiscard]] QString systemErrorText(int errorNumber);

} // namespace dovrane
