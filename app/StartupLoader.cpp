#include "StartupLoader.h"

#include "AccountFile.h"
#include "AppState.h"
#include "ConnectionProfile.h"
#include "ParamsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStartup, "dovrane.startup")

namespace dovrane {

namespace {
constexpr int kCallRecordLength = 40;
constexpr int kAddressRecordLength = 120;
} // namespace

StartupLoader::StartupLoader(AppState& state, DataPaths paths, ErrorReporter& errors)
    : m_state(state), m_paths(std::move(paths)), m_errors(errors)
{}

bool StartupLoader::openRecordFile(std::unique_ptr<RecordFile>& handle, const QString& path,
                                   int recordLength)
{
    // The handle of an earlier run is closed first, so the file is open only once.
    if (handle)
        handle->close();
    handle.reset();
    auto file = std::make_unique<RecordFile>(path, recordLength);
    if (!file->open()) {
        qCWarning(lcStartup) << "cannot open" << path << file->errorString();
        return false;
    }
    handle = std::move(file);
    return true;
}

void StartupLoader::LoadDataFiles()
{
    QDir dir;
    if (!dir.mkpath(m_paths.dataDir()) || !dir.mkpath(m_paths.logsDir())) {
        qCWarning(lcStartup) << "cannot create" << m_paths.dataDir();
        return;
    }

    const QString connection = m_paths.connectionFile();
    if (QFileInfo::exists(connection)) {
        if (!ConnectionProfile::read(connection, m_state)) {
            qCWarning(lcStartup) << "cannot read" << connection;
            return;
        }
    } else {
        m_errors.report(QStringLiteral("Connection Profile must be setup"));
    }

    if (!openRecordFile(m_state.CallListFile, m_paths.callListFile(), kCallRecordLength))
        return;

    if (!readAlarmActionAndSchedule(m_paths.paramsFile(), m_state)) {
        qCWarning(lcStartup) << "cannot open" << m_paths.paramsFile();
        return;
    }

    if (!openRecordFile(m_state.AddressBookFile, m_paths.addressBookFile(), kAddressRecordLength))
        return;

    const QString user = m_paths.userFile();
    if (!QFileInfo::exists(user))
        return;
    if (!AccountFile::read(user, m_state))
        qCWarning(lcStartup) << "cannot read" << user;
}

} // namespace dovrane
