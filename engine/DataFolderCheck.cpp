#include "DataFolderCheck.h"

#include "AddressRecord.h"
#include "CallList.h"
#include "DelimitedReader.h"
#include "ParamsFile.h"
#include "Settings.h"
#include "SettingsSections.h"
#include "StatusSettings.h"
#include "TextField.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace dovrane {

namespace {

const QString kParams = QStringLiteral("DVParams.dat");
const QString kConnection = QStringLiteral("Connection.dat");
const QString kCallList = QStringLiteral("CallList.dat");
const QString kAddressBook = QStringLiteral("AddressBook.dat");
const QString kUser = QStringLiteral("User.dat");
const QString kLogs = QStringLiteral("logs");
const QString kSettings = QStringLiteral("Dovrane.ini");
constexpr qint32 kLastSecond = 86399;

QString dayName(int day)
{
    static const char* const names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    return QString::fromLatin1(names[day - 1]);
}

/// The whole file, or nothing with the reason in problem. Opened read-only, so a
/// missing file stays missing.
std::optional<QByteArray> readWhole(const QString& path, QString& problem)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        problem = info.isSymLink()
                      ? QStringLiteral("links to %1, which is absent").arg(info.symLinkTarget())
                      : QStringLiteral("missing");
        return std::nullopt;
    }
    if (!info.isFile()) {
        problem = QStringLiteral("not a file");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("cannot be read: ") + file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

QString lengthProblem(qsizetype length, int recordLength)
{
    return QStringLiteral("length %1 bytes is not a whole number of %2-byte records")
        .arg(length)
        .arg(recordLength);
}

} // namespace

DataFolderCheck::DataFolderCheck(DataPaths paths, std::optional<int> inputCount,
                                 QString mailProgram)
    : m_paths(std::move(paths)), m_inputCount(inputCount), m_mailProgram(std::move(mailProgram))
{}

QList<DataFolderCheck::Finding> DataFolderCheck::run() const
{
    QList<Finding> out;
    checkParams(out);
    checkConnection(out);
    checkRecords(out, kCallList, CallList::kRecordLength);
    checkRecords(out, kAddressBook, AddressRecord::kLength);
    checkAccount(out);
    checkLogs(out);
    // Dovrane's own settings are optional: checked, and named, only when present.
    if (QFileInfo::exists(m_paths.settingsFile())) {
        Settings settings(m_paths.settingsFile());
        declareSections(settings);
        const Settings::Report report = settings.check();
        for (const QString& problem : report.problems)
            out.append(
                {kSettings, problem,
                 report.unreadable ? Finding::Weight::Unreadable : Finding::Weight::Problem});
        for (const QString& note : report.notes)
            out.append({kSettings, note, Finding::Weight::Note});
        const QString exposed = secretsExposed(m_paths.settingsFile());
        if (!exposed.isEmpty())
            out.append({kSettings, exposed, Finding::Weight::Problem});
        checkStatusPort(out);
    }
    return out;
}

int DataFolderCheck::exitCode(const QList<Finding>& findings)
{
    int code = 0;
    for (const Finding& f : findings)
        code = std::max(code, f.weight == Finding::Weight::Unreadable ? 2
                              : f.weight == Finding::Weight::Problem  ? 1
                                                                      : 0);
    return code;
}

QStringList DataFolderCheck::lines(const QList<Finding>& findings, bool withSettings)
{
    QStringList out;
    QStringList names{kParams, kConnection, kCallList, kAddressBook, kUser, kLogs};
    if (withSettings)
        names << kSettings;
    for (const QString& name : names) {
        bool ok = true;
        for (const Finding& finding : findings) {
            if (finding.name != name)
                continue;
            ok = false;
            out << name + QStringLiteral(": ") + finding.problem;
        }
        if (ok)
            out << name + QStringLiteral(": OK");
    }
    return out;
}

void DataFolderCheck::checkParams(QList<Finding>& out) const
{
    QString problem;
    const std::optional<QByteArray> bytes = readWhole(m_paths.paramsFile(), problem);
    if (!bytes) {
        out.append({kParams, problem});
        return;
    }
    constexpr int kLength = ParamsFile::kRecordLength;
    if (bytes->size() % kLength != 0) {
        out.append({kParams, lengthProblem(bytes->size(), kLength)});
        return;
    }
    if (bytes->size() < kLength * ParamsFile::kRecordCount)
        out.append({kParams, QStringLiteral("only %1 of the %2 records: the rest read as 0 "
                                            "(save Preferences once)")
                                 .arg(bytes->size() / kLength)
                                 .arg(ParamsFile::kRecordCount)});
    // As the program reads them: a record not in the file is 0.
    const auto record = [&](int n) {
        return kLength * n <= bytes->size() ? readInt32LE(*bytes, kLength * (n - 1)) : 0;
    };

    const qint32 device = record(ParamsFile::InputDevice);
    if (!m_inputCount) {
        out.append({kParams, QStringLiteral("input device %1 cannot be checked: the list of "
                                            "sound inputs cannot be had (is the sound server "
                                            "running?)")
                                 .arg(device)});
    } else if (device < 0 || device >= *m_inputCount) {
        out.append({kParams, QStringLiteral("input device %1 does not exist (the machine lists "
                                            "%2 sound input%3, numbered from 0)")
                                 .arg(device)
                                 .arg(*m_inputCount)
                                 .arg(*m_inputCount == 1 ? "" : "s")});
    }
    if (record(ParamsFile::AlarmDelay) < 1)
        out.append({kParams, QStringLiteral("the silence delay is %1 s: the alarm is raised and "
                                            "ended at every silent tick (set 1 s or more in "
                                            "Preferences)")
                                 .arg(record(ParamsFile::AlarmDelay))});
    if (record(ParamsFile::AlarmAction) == 2 && m_mailProgram.isEmpty()) {
        out.append({kParams, QStringLiteral("e-mail is the alarm action but no sendmail program "
                                            "was found (on PATH, /usr/sbin/sendmail, "
                                            "/usr/lib/sendmail)")});
    }
    for (int d = 1; d <= 7; ++d) {
        const qint32 enabled = record(ParamsFile::DayEnabledBase + d);
        if (enabled != 0 && enabled != 1) {
            out.append({kParams, QStringLiteral("%1 is switched on with %2, not 0 or 1")
                                     .arg(dayName(d))
                                     .arg(enabled)});
        }
        const std::pair<const char*, int> times[] = {{"start", ParamsFile::DayStartSecsBase},
                                                     {"stop", ParamsFile::DayStopSecsBase}};
        for (const auto& [what, base] : times) {
            const qint32 secs = record(base + d);
            if (secs < 0 || secs > kLastSecond) {
                out.append({kParams, QStringLiteral("%1 %2 time %3 is outside 0..%4")
                                         .arg(dayName(d), QLatin1String(what))
                                         .arg(secs)
                                         .arg(kLastSecond)});
            }
        }
    }
}

void DataFolderCheck::checkConnection(QList<Finding>& out) const
{
    QString problem;
    const std::optional<QByteArray> bytes = readWhole(m_paths.connectionFile(), problem);
    if (!bytes) {
        out.append({kConnection, problem});
        return;
    }
    DelimitedReader reader(*bytes);
    const QString portText = reader.nextField().value_or(QString());
    bool isNumber = false;
    const int port = portText.toInt(&isNumber);
    if (!isNumber) {
        out.append({kConnection, QStringLiteral("port \"%1\" is not a number").arg(portText)});
    } else if (port < 1 || port > 8) {
        out.append({kConnection, QStringLiteral("port %1 is not 1..8").arg(port)});
    } else {
        const QString name = QStringLiteral("COM%1").arg(port);
        const QFileInfo link(m_paths.file(name));
        const QString device = m_paths.serialDevice(port);
        if (link.isSymLink() && !link.exists()) {
            out.append({kConnection, QStringLiteral("port %1: %2 links to %3, which is absent")
                                         .arg(port)
                                         .arg(name, link.symLinkTarget())});
        } else if (!QFileInfo::exists(device)) {
            out.append({kConnection, QStringLiteral("port %1: no link %2 in the data folder, "
                                                    "and %3 is absent")
                                         .arg(port)
                                         .arg(name, device)});
        }
    }
    // The whole line, as the loader takes it: "9600,N,8,1" fails at the first call.
    const QString rateText = reader.nextLine().value_or(QString()).trimmed();
    bool rateIsNumber = false;
    const int rate = rateText.toInt(&rateIsNumber);
    if (!rateIsNumber || rate <= 0)
        out.append({kConnection, QStringLiteral("rate \"%1\" is not a number").arg(rateText)});
}

void DataFolderCheck::checkRecords(QList<Finding>& out, const QString& name, int recordLength) const
{
    QString problem;
    const std::optional<QByteArray> bytes = readWhole(m_paths.file(name), problem);
    if (!bytes)
        out.append({name, problem});
    else if (bytes->size() % recordLength != 0)
        out.append({name, lengthProblem(bytes->size(), recordLength)});
}

void DataFolderCheck::checkAccount(QList<Finding>& out) const
{
    // Only the alarm mail uses the account (the facility name in its subject);
    // the program runs without the file.
    const QString path = m_paths.userFile();
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink() && !mailIsTheAction()) {
        out.append({kUser, QStringLiteral("not set up (only the alarm mail needs it)"),
                    Finding::Weight::Note});
        return;
    }
    QString problem;
    if (!readWhole(path, problem)) {
        out.append({kUser, problem});
        return;
    }
    constexpr QFile::Permissions others =
        QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    if (QFileInfo(path).permissions() & others) {
        out.append({kUser, QStringLiteral("other users can read it, and it holds a password "
                                          "(chmod 600 it)")});
    }
}

void DataFolderCheck::checkLogs(QList<Finding>& out) const
{
    const QString dir = m_paths.logsDir();
    const QFileInfo info(dir);
    if (!info.exists())
        out.append({kLogs, QStringLiteral("not there yet (the first start creates it)"),
                    Finding::Weight::Note});
    else if (!info.isDir())
        out.append({kLogs, QStringLiteral("not a folder")});
    else if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0)
        out.append({kLogs, QStringLiteral("not writable: ") +
                               QString::fromLocal8Bit(std::strerror(errno))});
}

namespace {

/// [status] of the settings file at path, as the instance using it would listen.
StatusSettings statusAt(const QString& path)
{
    Settings settings(path);
    settings.declare<StatusSettings>();
    (void)settings.load();
    return settings.get<StatusSettings>().forInstance(path);
}

} // namespace

void DataFolderCheck::checkStatusPort(QList<Finding>& out) const
{
    const StatusSettings mine = statusAt(m_paths.settingsFile());
    for (const QString& warning : mine.warnings())
        out.append({kSettings, warning, Finding::Weight::Note});
    QHostAddress host;
    quint16 port = 0;
    if (!mine.enabled || !mine.address(&host, &port) || port == 0)
        return; // a listen= that cannot be used is a problem of its own
    out.append({kSettings, QStringLiteral("remote status on http://%1/").arg(mine.listen),
                Finding::Weight::Note});
    // Instances of the service template keep their folders side by side (Dovrane,
    // Dovrane-NAME): two on one address would leave the second without its status.
    const QDir parent = QFileInfo(m_paths.dataDir()).absoluteDir();
    const QString self = QFileInfo(m_paths.dataDir()).fileName();
    for (const QString& other :
         parent.entryList({QStringLiteral("Dovrane"), QStringLiteral("Dovrane-*")}, QDir::Dirs)) {
        const DataPaths theirs(parent.filePath(other));
        if (other == self || !QFileInfo::exists(theirs.settingsFile()))
            continue;
        const StatusSettings status = statusAt(theirs.settingsFile());
        if (status.enabled && status.listen == mine.listen)
            out.append({kSettings, QStringLiteral("[status] listen: %1 is also where %2 listens; "
                                                  "give each instance a port of its own")
                                       .arg(mine.listen, theirs.dataDir())});
    }
}

bool DataFolderCheck::mailIsTheAction() const
{
    QString problem;
    const std::optional<QByteArray> bytes = readWhole(m_paths.paramsFile(), problem);
    constexpr int offset = ParamsFile::kRecordLength * (ParamsFile::AlarmAction - 1);
    return bytes && bytes->size() >= offset + ParamsFile::kRecordLength &&
           readInt32LE(*bytes, offset) == 2;
}

} // namespace dovrane
