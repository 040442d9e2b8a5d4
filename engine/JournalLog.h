#pragma once

#include <QString>

namespace dovrane {

/// Standard error of the headless program, shaped for the journal: every line
/// starts with its syslog priority as sd-daemon.h spells it ("<3>" error, "<4>"
/// warning, "<6>" info...), which journald strips and keeps as the entry's
/// priority, so `journalctl -p warning` filters them. Used in headless mode
/// always, whether standard error goes to the journal or not.
namespace JournalLog {

/// Writes text, every line of it behind prefix (SD_ERR, SD_WARNING, SD_INFO...).
void write(const char* prefix, const QString& text);
/// The same with a syslog priority number (3 error, 4 warning, 5 notice...).
void write(int priority, const QString& text);

/// Routes every Qt message through write(): qDebug as debug, qInfo as info,
/// qWarning as warning, qCritical as error, qFatal as critical.
void installMessageHandler();

} // namespace JournalLog

} // namespace dovrane
