#include "InstanceLock.h"

#include <QDir>

namespace dovrane {

InstanceLock::InstanceLock(const DataPaths& paths)
    : m_dataDir(paths.dataDir()), m_lock(paths.file(QStringLiteral("dovrane.lock")))
{
    // Never stale by age: only a dead owner frees it.
    m_lock.setStaleLockTime(0);
}

bool InstanceLock::acquire()
{
    DataPaths::makeFolder(m_dataDir);
    if (m_lock.tryLock(0))
        return true;
    // A folder that cannot hold the lock file cannot hold the data either; the
    // start-up loader meets that and goes its own way, so only another owner stops
    // the start.
    if (m_lock.error() != QLockFile::LockFailedError)
        return true;
    qint64 pid = 0;
    QString host;
    QString app;
    m_lock.getLockInfo(&pid, &host, &app);
    m_error = QStringLiteral("Dovrane is already running on the data folder %1 (process %2 on %3)")
                  .arg(QDir::toNativeSeparators(m_dataDir))
                  .arg(pid)
                  .arg(host);
    return false;
}

} // namespace dovrane
