#pragma once

#include <QObject>
#include <QString>

namespace dovrane {

/// The station's account record: facility name (used in every alarm mail), user
/// name and password. Read from User.dat by the start-up loader and changed by the
/// account window's Apply.
class Account : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    [[nodiscard]] QString facility() const { return m_facility; }
    [[nodiscard]] QString userName() const { return m_userName; }
    [[nodiscard]] QString password() const { return m_password; }

    void set(const QString& facility, const QString& userName, const QString& password)
    {
        if (facility == m_facility && userName == m_userName && password == m_password)
            return;
        m_facility = facility;
        m_userName = userName;
        m_password = password;
        Q_EMIT changed();
    }

Q_SIGNALS:
    void changed();

private:
    QString m_facility;
    QString m_userName;
    QString m_password;
};

} // namespace dovrane
