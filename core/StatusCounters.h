#pragma once

#include <QMap>
#include <QPair>
#include <QString>

namespace dovrane {

/// How often each notification path tried to reach someone, by result ("sent",
/// "failed", ...). The station owns one; every path adds its rows here and the
/// remote status shows them as dovrane_notifications_total{path,result}.
class StatusCounters
{
public:
    using Key = QPair<QString, QString>; ///< path, result

    void add(const QString& path, const QString& result) { ++m_notifications[{path, result}]; }
    [[nodiscard]] const QMap<Key, quint64>& notifications() const { return m_notifications; }

private:
    QMap<Key, quint64> m_notifications;
};

} // namespace dovrane
