#include "StartupLoader.h"

#include "AccountFile.h"
#include "ConnectionProfile.h"
#include "DataFiles.h"
#include "ParamsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStartup, "dovrane.startup")

namespace dovrane {

StartupLoader::StartupLoader(DataFiles& files, AlarmPlan& plan, Account& account,
                             SerialProfile& profile, DataPaths paths, ErrorReporter& errors)
    : m_files(files), m_plan(plan), m_account(account), m_profile(profile),
      m_paths(std::move(paths)), m_errors(errors)
{}

void StartupLoader::LoadDataFiles()
{
    QDir dir;
    if (!dir.mkpath(m_paths.dataDir()) || !dir.mkpath(m_paths.logsDir())) {
        qCWarning(lcStartup) << "cannot create" << m_paths.dataDir();
        return;
    }

    const QString connection = m_paths.connectionFile();
    if (QFileInfo::exists(connection)) {
        QString why;
        if (!ConnectionProfile::read(connection, m_profile, &why)) {
            // Loading stops here, so the operator must know what is missing.
            m_errors.report(QStringLiteral("Connection.dat cannot be read (%1): the call list, "
                                           "alarm action, weekly schedule, address book and "
                                           "account were not loaded")
                                .arg(why));
            return;
        }
    } else {
        m_errors.report(QStringLiteral("Connection Profile must be setup"));
    }

    if (!m_files.openCallList(m_paths.callListFile())) {
        qCWarning(lcStartup) << "cannot open" << m_paths.callListFile() << m_files.errorString();
        return;
    }

    if (!readAlarmActionAndSchedule(m_paths.paramsFile(), m_plan)) {
        qCWarning(lcStartup) << "cannot open" << m_paths.paramsFile();
        return;
    }

    if (!m_files.openAddressBook(m_paths.addressBookFile())) {
        qCWarning(lcStartup) << "cannot open" << m_paths.addressBookFile() << m_files.errorString();
        return;
    }

    const QString user = m_paths.userFile();
    if (!QFileInfo::exists(user))
        return;
    if (!AccountFile::read(user, m_account))
        qCWarning(lcStartup) << "cannot read" << user;
}

} // namespace dovrane
