#include "SystemInfoTool.h"

#include <QProcess>
#include <QStandardPaths>

namespace dovrane {

QStringList SystemInfoTool::defaultCandidates()
{
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
            QStringLiteral("sysinfo")};
}

SystemInfoTool::SystemInfoTool(QStringList candidates, Finder finder, Starter starter)
    : m_candidates(std::move(candidates)), m_finder(std::move(finder)),
      m_starter(std::move(starter))
{
    if (!m_finder)
        m_finder = [](const QString& name) { return QStandardPaths::findExecutable(name); };
    if (!m_starter)
        m_starter = [](const QString& program) { return QProcess::startDetached(program, {}); };
}

QString SystemInfoTool::find() const
{
    for (const QString& name : m_candidates) {
        const QString path = m_finder(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool SystemInfoTool::start() const
{
    const QString program = find();
    return !program.isEmpty() && m_starter(program);
}

} // namespace dovrane
