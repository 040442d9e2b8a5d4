#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace dovrane {

/// The desktop's system information program. There is no registry entry to ask, so
/// the first well-known tool found on PATH is the one; tests hand in their own
/// lookup and starter so the answer does not depend on the machine.
class SystemInfoTool
{
public:
    /// Full path of an installed program, or empty when it is not installed.
    using Finder = std::function<QString(const QString& name)>;
    /// Starts a program without waiting for it; false when it could not be started.
    using Starter = std::function<bool(const QString& program)>;

    /// hardinfo2, hardinfo, kinfocenter, sysinfo: in that order.
    [[nodiscard]] static QStringList defaultCandidates();

    /// Empty finder/starter mean the PATH lookup and QProcess::startDetached.
    explicit SystemInfoTool(QStringList candidates = defaultCandidates(), Finder finder = {},
                            Starter starter = {});

    /// Path of the first candidate installed, or empty.
    [[nodiscard]] QString find() const;
    /// Starts the tool; false when none is installed or it could not be started.
    bool start() const;

private:
    QStringList m_candidates;
    Finder m_finder;
    Starter m_starter;
};

} // namespace dovrane
