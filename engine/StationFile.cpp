#include "StationFile.h"

#include "Account.h"
#include "AccountFile.h"
#include "AddressRecord.h"
#include "CallList.h"
#include "ConnectionProfile.h"
#include "ParamsFile.h"
#include "RecordFile.h"
#include "SerialProfile.h"
#include "Settings.h"
#include "SettingsSections.h"
#include "TextField.h"
#include "TimeOfDay.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTime>

#include <algorithm>
#include <cstdio>

namespace dovrane {

namespace {

using Problems = QList<StationFile::Problem>;

const QString kParams = QStringLiteral("params");
const QString kConnection = QStringLiteral("connection");
const QString kCallList = QStringLiteral("call list");
const QString kAddressBook = QStringLiteral("address book");
const QString kAccount = QStringLiteral("account");
/// Its lines run to the end of the station file, as they are.
const QString kIni = QStringLiteral("Dovrane.ini");
const QString kKept = QStringLiteral("(kept)");
const QString kHex = QStringLiteral("hex");
const QString kDelayZero = QStringLiteral("delay 0: every silent tick would raise and end the "
                                          "alarm; 1 to 99 seconds");
constexpr int kMaxDelay = 99;
constexpr int kMaxThreshold = 32767;
constexpr int kMaxPort = 8;
const char* const kDayNames[] = {"sunday",   "monday", "tuesday", "wednesday",
                                 "thursday", "friday", "saturday"};
const char* const kActions[] = {"none", "page", "mail"};
const char* const kSendOptions[] = {"never", "always", "sometimes"};

struct Entry
{
    int line = 0;
    QString key;
    QString value;
};

/// A station text taken apart: the entries of each section, and Dovrane.ini's text.
struct Parsed
{
    QMap<QString, QList<Entry>> sections;
    QMap<QString, int> sectionLines;
    std::optional<QByteArray> ini;
    int iniLine = 0;
    Problems problems;
};

QString fileOf(const DataPaths& paths, const QString& section)
{
    if (section == kParams)
        return paths.paramsFile();
    if (section == kConnection)
        return paths.connectionFile();
    if (section == kCallList)
        return paths.callListFile();
    if (section == kAddressBook)
        return paths.addressBookFile();
    if (section == kAccount)
        return paths.userFile();
    return paths.settingsFile();
}

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QString timeText(qint32 seconds)
{
    return TimeOfDay::toTime(seconds).toString(QStringLiteral("HH:mm:ss"));
}

std::optional<qint32> timeValue(const QString& text)
{
    for (const char* format : {"HH:mm:ss", "H:mm:ss", "HH:mm", "H:mm"}) {
        const QTime time = QTime::fromString(text.trimmed(), QLatin1String(format));
        if (time.isValid())
            return TimeOfDay::fromTime(time);
    }
    return std::nullopt;
}

std::optional<qint32> numberIn(const QString& text, qint32 low, qint32 high)
{
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

/// "start-stop" as two times of day.
std::optional<std::pair<qint32, qint32>> windowValue(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto start = timeValue(parts[0]), stop = timeValue(parts[1]);
    if (!start || !stop)
        return std::nullopt;
    return std::pair(*start, *stop);
}

int dayOf(const QString& key)
{
    for (int d = 1; d <= 7; ++d)
        if (key == QLatin1String(kDayNames[d - 1]))
            return d;
    return 0;
}

/// One key of the parameters into the records it sets; what is wrong, or empty.
QString applyParam(const QString& key, const QString& value, QMap<int, qint32>& records)
{
    const auto number = [&](int record, qint32 low, qint32 high) {
        const auto n = numberIn(value, low, high);
        if (!n)
            return QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4")
                .arg(key, value)
                .arg(low)
                .arg(high);
        records[record] = *n;
        return QString();
    };
    if (key == QLatin1String("delay"))
        return number(ParamsFile::AlarmDelay, 0, kMaxDelay);
    if (key == QLatin1String("threshold"))
        return number(ParamsFile::Threshold, 0, kMaxThreshold);
    if (key == QLatin1String("input"))
        return number(ParamsFile::InputDevice, -1, 255);
    if (key == QLatin1String("alarm_only"))
        return number(ParamsFile::AlarmOnly, 0, 1);
    if (key == QLatin1String("alarm_relay"))
        return number(ParamsFile::AlarmRelay, -1, 255);
    if (key == QLatin1String("record_6"))
        return number(6, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    if (key == QLatin1String("action")) {
        for (int a = 0; a < 3; ++a)
            if (value.trimmed() == QLatin1String(kActions[a])) {
                records[ParamsFile::AlarmAction] = a;
                return {};
            }
        return QStringLiteral("action: \"%1\" is not none, page or mail").arg(value);
    }
    if (const int d = dayOf(key)) {
        const QString on = value.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        const QString window = value.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
        const auto times = windowValue(window);
        if ((on != QLatin1String("on") && on != QLatin1String("off")) ||
            (!window.isEmpty() && !times))
            return QStringLiteral("%1: \"%2\" is not on or off, then start-stop as "
                                  "HH:MM:SS-HH:MM:SS")
                .arg(key, value);
        records[ParamsFile::DayEnabledBase + d] = on == QLatin1String("on") ? 1 : 0;
        if (times) {
            records[ParamsFile::DayStartSecsBase + d] = times->first;
            records[ParamsFile::DayStopSecsBase + d] = times->second;
        }
        return {};
    }
    return QStringLiteral("unknown key \"%1\"").arg(key);
}

QByteArray fromHex(const QString& text, bool* ok)
{
    static const QRegularExpression hex(QStringLiteral("^([0-9a-f]{2})*$"));
    const QString compact = text.simplified().remove(QLatin1Char(' ')).toLower();
    *ok = hex.match(compact).hasMatch();
    return QByteArray::fromHex(compact.toLatin1());
}

/// The raw "key=value" lines of an INI text by "section/key".
QMap<QString, QString> iniLines(const QByteArray& text)
{
    QMap<QString, QString> out;
    QString section;
    for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
            section = t.mid(1, t.size() - 2);
        else if (t.contains(QLatin1Char('=')))
            out.insert(section + QLatin1Char('/') + t.section(QLatin1Char('='), 0, 0).trimmed(),
                       line);
    }
    return out;
}

bool isSecretKey(const QString& key)
{
    const QString k = key.trimmed().toLower();
    return k.endsWith(QLatin1String("password")) || k.endsWith(QLatin1String("token"));
}

/// Dovrane.ini with every secret value read as "(kept)", or put back from the
/// folder's current file (dropped where it has none).
QByteArray iniSecrets(const QByteArray& text, const QByteArray* current)
{
    const QMap<QString, QString> now = current ? iniLines(*current) : QMap<QString, QString>();
    QStringList out;
    QString section;
    for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
            section = t.mid(1, t.size() - 2);
        const QString key = t.section(QLatin1Char('='), 0, 0);
        const bool plain = !t.contains(QLatin1Char('=')) || !isSecretKey(key);
        if (plain || (current && t.section(QLatin1Char('='), 1).trimmed() != kKept)) {
            out << line;
        } else if (!current) {
            out << key.trimmed() + QLatin1Char('=') + kKept;
        } else if (const auto it = now.constFind(section + QLatin1Char('/') + key.trimmed());
                   it != now.constEnd()) {
            out << *it;
        }
    }
    return out.join(QLatin1Char('\n')).toUtf8();
}

Parsed parse(const QByteArray& text)
{
    Parsed p;
    const QList<QByteArray> lines = text.split('\n');
    QString section;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).remove(QLatin1Char('\r'));
        const QString t = line.trimmed();
        const int number = i + 1;
        if (t.isEmpty() || t.startsWith(QLatin1Char('#')) || t.startsWith(QLatin1Char(';')))
            continue;
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) {
            section = t.mid(1, t.size() - 2).trimmed();
            if (section == kIni) {
                p.ini = lines.mid(i + 1).join('\n');
                p.iniLine = number;
                return p;
            }
            if (section != kParams && section != kConnection && section != kCallList &&
                section != kAddressBook && section != kAccount)
                p.problems.append({number, QStringLiteral("unknown section [%1]").arg(section)});
            else if (p.sectionLines.contains(section))
                p.problems.append({number, QStringLiteral("[%1] a second time").arg(section)});
            p.sectionLines.insert(section, number);
            p.sections[section];
            continue;
        }
        if (!t.contains(QLatin1Char('=')) || section.isEmpty()) {
            p.problems.append({number, QStringLiteral("neither [section] nor key = value")});
            continue;
        }
        p.sections[section].append({number, t.section(QLatin1Char('='), 0, 0).trimmed(),
                                    t.section(QLatin1Char('='), 1).trimmed()});
    }
    return p;
}

QStringList fieldsOf(const QString& value, int count)
{
    QStringList fields = value.split(QLatin1Char('|'));
    for (QString& field : fields)
        field = field.trimmed();
    return fields.size() == count ? fields : QStringList();
}

bool fits(const QString& text, int width)
{
    return TextField::encode(text).size() <= width &&
           TextField::decode(TextField::encode(text)) == text;
}

/// Writes one section's data file into folder with the windows' writers. kept is
/// the folder whose secrets "(kept)" stands for.
void writeSection(const QString& section, const QList<Entry>& entries, const DataPaths& folder,
                  const DataPaths& kept, Problems& problems, bool importing = true)
{
    const QString path = fileOf(folder, section);
    const int before = int(problems.size());
    const auto fail = [&](int line, const QString& text) {
        problems.append({line, QStringLiteral("[%1] %2").arg(section, text)});
    };
    if (entries.size() == 1 && entries[0].key == kHex) {
        bool ok = false;
        const QByteArray bytes = fromHex(entries[0].value, &ok);
        if (!ok)
            fail(entries[0].line, QStringLiteral("hex: not pairs of hex digits"));
        else if (!writeBytes(path, bytes))
            fail(0, QStringLiteral("cannot be written"));
        return;
    }
    if (section == kParams) {
        QMap<int, qint32> records;
        for (int r = 1; r <= ParamsFile::kRecordCount; ++r)
            records[r] = 0;
        QStringList seen;
        for (const Entry& e : entries) {
            if (const QString why = applyParam(e.key, e.value, records); !why.isEmpty())
                fail(e.line, why);
            seen << e.key;
        }
        for (const char* key : {"delay", "threshold", "action"})
            if (!seen.contains(QLatin1String(key)))
                fail(0, QStringLiteral("%1 is missing").arg(QLatin1String(key)));
        if (importing && seen.contains(QStringLiteral("delay")) &&
            records[ParamsFile::AlarmDelay] < 1)
            fail(entries[int(seen.indexOf(QStringLiteral("delay")))].line, kDelayZero);
        if (int(problems.size()) > before)
            return;
        ParamsFile file(path);
        bool ok = file.open();
        for (auto it = records.cbegin(); ok && it != records.cend(); ++it)
            ok = file.write(it.key(), it.value());
        file.close();
        if (!ok)
            fail(0, QStringLiteral("cannot be written"));
        return;
    }
    if (section == kConnection) {
        QMap<QString, Entry> by;
        for (const Entry& e : entries) {
            if (e.key != QLatin1String("port") && e.key != QLatin1String("rate"))
                fail(e.line, QStringLiteral("unknown key \"%1\"").arg(e.key));
            by.insert(e.key, e);
        }
        const auto port = numberIn(by.value(QStringLiteral("port")).value, 1, kMaxPort);
        if (!port)
            fail(by.value(QStringLiteral("port")).line,
                 QStringLiteral("port is not a number from 1 to %1").arg(kMaxPort));
        static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
        const QString rate = by.value(QStringLiteral("rate")).value;
        if (!digits.match(rate).hasMatch())
            fail(by.value(QStringLiteral("rate")).line,
                 QStringLiteral("rate \"%1\" is not a number").arg(rate));
        if (int(problems.size()) == before && !ConnectionProfile::write(path, *port, rate))
            fail(0, QStringLiteral("cannot be written"));
        return;
    }
    if (section == kCallList || section == kAddressBook) {
        const bool calls = section == kCallList;
        QByteArray bytes;
        for (int i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            const QStringList f = fieldsOf(e.value, calls ? 3 : 6);
            const bool on = f.value(0) == QLatin1String("on");
            if (e.key != QString::number(i + 1)) {
                fail(e.line, QStringLiteral("entry %1 where %2 comes next").arg(e.key).arg(i + 1));
            } else if (f.isEmpty() || (!on && f[0] != QLatin1String("off"))) {
                fail(e.line, calls ? QStringLiteral("not on|off | name | number")
                                   : QStringLiteral("not on|off | never|always|sometimes | "
                                                    "name | address | days | times"));
            } else if (calls) {
                if (!fits(f[1], CallList::kNameWidth) || !fits(f[2], CallList::kNumberWidth))
                    fail(e.line, QStringLiteral("name over %1 or number over %2 characters")
                                     .arg(CallList::kNameWidth)
                                     .arg(CallList::kNumberWidth));
                bytes += CallList::join(on ? QStringLiteral("1") : QStringLiteral("0"), f[1], f[2]);
            } else {
                AddressRecord r;
                r.InUse = on ? '1' : '0';
                const qsizetype option =
                    QStringList{kSendOptions[0], kSendOptions[1], kSendOptions[2]}.indexOf(f[1]);
                r.SendOption = char('0' + option);
                r.setContactName(f[2]);
                r.setAddress(f[3]);
                const QStringList times = f[5].split(QLatin1Char(' '), Qt::SkipEmptyParts);
                static const QRegularExpression days(QStringLiteral("^[01]{7}$"));
                bool ok = option >= 0 && days.match(f[4]).hasMatch() && times.size() == 7 &&
                          fits(f[2], AddressRecord::kNameWidth) &&
                          fits(f[3], AddressRecord::kAddressWidth);
                for (int d = 1; ok && d <= 7; ++d) {
                    const auto window = windowValue(times[d - 1]);
                    ok = window.has_value();
                    r.DayChecked[d] = f[4].at(d - 1).toLatin1();
                    r.StartSecs[d] = window ? window->first : 0;
                    r.StopSecs[d] = window ? window->second : 0;
                }
                if (!ok)
                    fail(e.line, QStringLiteral("want on|off | never|always|sometimes | name "
                                                "(16) | address (39) | 7 days of 0/1 from "
                                                "Sunday | 7 start-stop times"));
                bytes += r.toBytes();
            }
        }
        if (int(problems.size()) > before)
            return;
        const int length = calls ? CallList::kRecordLength : AddressRecord::kLength;
        RecordFile file(path, length);
        bool ok = file.open();
        for (qsizetype n = 0; ok && n * length < bytes.size(); ++n)
            ok = file.write(n + 1, bytes.mid(n * length, length));
        file.close();
        if (!ok)
            fail(0, QStringLiteral("cannot be written"));
        return;
    }
    // The account.
    QMap<QString, QString> values;
    for (const Entry& e : entries) {
        if (e.key != QLatin1String("facility") && e.key != QLatin1String("user") &&
            e.key != QLatin1String("password"))
            fail(e.line, QStringLiteral("unknown key \"%1\"").arg(e.key));
        values.insert(e.key, e.value);
    }
    QString password = values.value(QStringLiteral("password"));
    if (password == kKept) {
        Account account;
        password = AccountFile::read(kept.userFile(), account) ? account.password() : QString();
    }
    if (int(problems.size()) == before &&
        !AccountFile::write(path, values.value(QStringLiteral("facility")),
                            values.value(QStringLiteral("user")), password))
        fail(0, QStringLiteral("cannot be written"));
}

/// The readable lines of one data file; the check against its bytes comes after.
QStringList readableLines(const QString& section, const QByteArray& bytes, const DataPaths& paths,
                          bool withSecrets)
{
    QStringList out;
    if (section == kParams) {
        const auto r = [&](int n) { return readInt32LE(bytes, (n - 1) * 4); };
        if (bytes.size() != ParamsFile::kRecordLength * ParamsFile::kRecordCount)
            return {};
        const qint32 action = r(ParamsFile::AlarmAction);
        out << QStringLiteral("delay = %1").arg(r(ParamsFile::AlarmDelay))
            << QStringLiteral("threshold = %1").arg(r(ParamsFile::Threshold))
            << QStringLiteral("input = %1").arg(r(ParamsFile::InputDevice))
            << QStringLiteral("action = %1")
                   .arg(action >= 0 && action < 3 ? QLatin1String(kActions[action])
                                                  : QLatin1String("?"))
            << QStringLiteral("alarm_only = %1").arg(r(ParamsFile::AlarmOnly))
            << QStringLiteral("alarm_relay = %1").arg(r(ParamsFile::AlarmRelay));
        if (r(6) != 0)
            out << QStringLiteral("record_6 = %1").arg(r(6));
        for (int d = 1; d <= 7; ++d)
            out << QStringLiteral("%1 = %2 %3-%4")
                       .arg(QLatin1String(kDayNames[d - 1]),
                            r(ParamsFile::DayEnabledBase + d) == 1 ? QStringLiteral("on")
                                                                   : QStringLiteral("off"),
                            timeText(r(ParamsFile::DayStartSecsBase + d)),
                            timeText(r(ParamsFile::DayStopSecsBase + d)));
    } else if (section == kConnection) {
        SerialProfile profile;
        if (ConnectionProfile::read(paths.connectionFile(), profile))
            out << QStringLiteral("port = %1").arg(profile.comPort())
                << QStringLiteral("rate = %1").arg(profile.baudRate());
    } else if (section == kCallList) {
        for (qsizetype n = 0; n * CallList::kRecordLength < bytes.size(); ++n) {
            const CallRecord c =
                CallList::split(bytes.mid(n * CallList::kRecordLength, CallList::kRecordLength));
            out << QStringLiteral("%1 = %2 | %3 | %4")
                       .arg(n + 1)
                       .arg(c.inUse() ? QStringLiteral("on") : QStringLiteral("off"),
                            c.CallName.trimmed(), c.CallNumber.trimmed());
        }
    } else if (section == kAddressBook) {
        for (qsizetype n = 0; n * AddressRecord::kLength < bytes.size(); ++n) {
            const AddressRecord a = AddressRecord::fromBytes(
                bytes.mid(n * AddressRecord::kLength, AddressRecord::kLength));
            QString days;
            QStringList times;
            for (int d = 1; d <= 7; ++d) {
                days += QLatin1Char(a.DayChecked[d]);
                times << timeText(a.StartSecs[d]) + QLatin1Char('-') + timeText(a.StopSecs[d]);
            }
            const int option = a.SendOption - '0';
            out << QStringLiteral("%1 = %2 | %3 | %4 | %5 | %6 | %7")
                       .arg(n + 1)
                       .arg(a.inUse() ? QStringLiteral("on") : QStringLiteral("off"),
                            option >= 0 && option < 3 ? QLatin1String(kSendOptions[option])
                                                      : QLatin1String("?"),
                            a.ContactName.trimmed(), a.Address.trimmed(), days,
                            times.join(QLatin1Char(' ')));
        }
    } else if (section == kAccount) {
        Account account;
        if (AccountFile::read(paths.userFile(), account))
            out << QStringLiteral("facility = ") + account.facility()
                << QStringLiteral("user = ") + account.userName()
                << QStringLiteral("password = ") + (withSecrets ? account.password() : kKept);
    }
    return out;
}

} // namespace

StationFile::StationFile(DataPaths paths) : m_paths(std::move(paths)) {}

QByteArray StationFile::exportText(bool withSecrets) const
{
    QStringList out{
        QStringLiteral("# Dovrane station %1, written by `dovrane export`.").arg(m_paths.dataDir()),
        QStringLiteral("# `dovrane import FILE` writes the data files from it. Times are "
                       "HH:MM:SS; the delay is in seconds;"),
        QStringLiteral("# the threshold is the peak level (0..32767) that counts as sound. "
                       "A data file in a form"),
        QStringLiteral("# the windows do not write is kept as hex. Dovrane.ini comes last, "
                       "as it is.")};
    QTemporaryDir staging;
    const DataPaths check(staging.path());
    for (const QString& section : {kParams, kConnection, kCallList, kAddressBook, kAccount}) {
        const std::optional<QByteArray> bytes = readFile(fileOf(m_paths, section));
        if (!bytes)
            continue;
        const QStringList lines = readableLines(section, *bytes, m_paths, withSecrets);
        const Parsed parsed = parse(
            (QLatin1Char('[') + section + QStringLiteral("]\n") + lines.join(u'\n')).toUtf8());
        Problems problems;
        writeSection(section, parsed.sections.value(section), check, m_paths, problems, false);
        const bool same = problems.isEmpty() && readFile(fileOf(check, section)) == bytes;
        out << QString() << QLatin1Char('[') + section + QLatin1Char(']');
        if (same)
            out << lines;
        else
            out << QStringLiteral("# not in the form the windows write: kept byte for byte")
                << QStringLiteral("hex = ") + QString::fromLatin1(bytes->toHex());
    }
    QByteArray text = out.join(QLatin1Char('\n')).toUtf8() + '\n';
    if (const std::optional<QByteArray> ini = readFile(m_paths.settingsFile()))
        text += "\n[" + kIni.toUtf8() + "]\n" + (withSecrets ? *ini : iniSecrets(*ini, nullptr));
    return text;
}

QList<StationFile::Problem> StationFile::import(const QByteArray& text) const
{
    Parsed parsed = parse(text);
    Problems& problems = parsed.problems;
    if (!QDir().mkpath(m_paths.dataDir()))
        return {{0, QStringLiteral("the data folder %1 cannot be made").arg(m_paths.dataDir())}};
    // Everything is written beside the data files first, then moved over them: a
    // problem anywhere leaves every file as it was.
    QTemporaryDir staging(m_paths.dataDir() + QStringLiteral("/.import-XXXXXX"));
    const DataPaths staged(staging.path());
    QStringList written;
    for (const QString& section : {kParams, kConnection, kCallList, kAddressBook, kAccount}) {
        if (!parsed.sectionLines.contains(section))
            continue;
        writeSection(section, parsed.sections.value(section), staged, m_paths, problems);
        written << section;
    }
    if (parsed.ini) {
        const std::optional<QByteArray> current = readFile(m_paths.settingsFile());
        const QByteArray current0 = current.value_or(QByteArray());
        const QByteArray ini = iniSecrets(*parsed.ini, &current0);
        if (!writeBytes(staged.settingsFile(), ini))
            problems.append({parsed.iniLine, QStringLiteral("[Dovrane.ini] cannot be written")});
        Settings check(staged.settingsFile());
        declareSections(check);
        for (const QString& why : check.check().problems)
            problems.append({parsed.iniLine, QStringLiteral("[Dovrane.ini] ") + why});
        written << kIni;
    }
    if (written.isEmpty() && problems.isEmpty())
        problems.append({0, QStringLiteral("no section of a station in it")});
    if (!problems.isEmpty()) {
        std::stable_sort(problems.begin(), problems.end(),
                         [](const Problem& a, const Problem& b) { return a.line < b.line; });
        return problems;
    }
    for (const QString& section : written) {
        const QString from = fileOf(staged, section), to = fileOf(m_paths, section);
        QFile::setPermissions(from, section == kAccount || section == kIni
                                        ? QFile::ReadOwner | QFile::WriteOwner
                                        : QFile::permissions(from));
        if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()))
            problems.append({0, QStringLiteral("%1 cannot be replaced").arg(to)});
    }
    return problems;
}

QString StationFile::set(const QString& key, const QString& value) const
{
    QMap<int, qint32> records;
    QString why = applyParam(key, value, records);
    if (!why.isEmpty())
        return why;
    if (records.value(ParamsFile::AlarmDelay, 1) < 1)
        return kDelayZero;
    QDir().mkpath(m_paths.dataDir());
    ParamsFile file(m_paths.paramsFile());
    bool ok = file.open();
    // Every record, as Preferences saves them: a new or short file gets its 28.
    for (int r = 1; ok && r <= ParamsFile::kRecordCount; ++r)
        ok = file.write(r, records.contains(r) ? records[r] : file.read(r));
    file.close();
    return ok ? QString() : QStringLiteral("%1 cannot be written").arg(m_paths.paramsFile());
}

} // namespace dovrane
