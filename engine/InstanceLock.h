#pragma once

#include "DataPaths.h"

#include <QLockFile>
#include <QString>

namespace dovrane {

/// One running Dovrane per data folder: two would start, alarm, page and mail
/// twice. The lock is a file in the data folder, released on exit; after a crash the
/// next start finds its process gone and takes it over.
class InstanceLock
{
public:
    explicit InstanceLock(const DataPaths& paths);

    /// false with errorString() set when another process holds the folder; true
    /// also when the folder cannot hold a lock file at all.
    [[nodiscard]] bool acquire();
    [[nodiscard]] QString errorString() const { return m_error; }

private:
    QString m_dataDir;
    QLockFile m_lock;
    QString m_error;
};

} // namespace dovrane
