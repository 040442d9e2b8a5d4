#pragma once

#include "AddressBook.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "MailTransport.h"

#include <QDir>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

namespace dovrane::test {

/// A mail system that keeps every message instead of sending it, and records the
/// session calls in order ("signOn", "signOff", "send").
class RecordingMailTransport final : public MailTransport
{
    Q_OBJECT
public:
    using MailTransport::MailTransport;

    [[nodiscard]] qint64 sessionId() const override { return m_session; }
    bool signOn() override
    {
        calls.append(QStringLiteral("signOn"));
        if (refuseSignOn)
            return false;
        m_session = ++m_nextSession;
        return true;
    }
    void signOff() override
    {
        calls.append(QStringLiteral("signOff"));
        m_session = 0;
    }
    void send(const MailMessage& message) override
    {
        calls.append(QStringLiteral("send"));
        sent.append(message);
    }

    QStringList calls;
    QList<MailMessage> sent;
    bool refuseSignOn = false;

private:
    qint64 m_session = 0;
    qint64 m_nextSession = 0;
};

/// The mail sender with everything it reads and writes: an open address book and a log
/// folder in a temporary data folder, the facility "WXYZ", and a clock standing at
/// Monday 19 June 2006 12:00:00.
struct MailRig
{
    MailRig()
    {
        QVERIFY(dir.isValid());
        QVERIFY(QDir().mkpath(paths.logsDir()));
        state.Facility = QStringLiteral("WXYZ");
        state.AddressBookFile = std::make_unique<RecordFile>(paths.addressBookFile(), 120);
        QVERIFY(state.AddressBookFile->open());
    }
    /// An entry in use with every day unchecked 00:00:00 to 00:00:00.
    static AddressRecord entry(char option, const QString& name, const QString& address)
    {
        AddressRecord r;
        r.InUse = '1';
        r.SendOption = option;
        r.setContactName(name);
        r.setAddress(address);
        for (int day = 1; day <= 7; ++day)
            r.DayChecked[day] = '0';
        return r;
    }
    /// Writes the records as records 1, 2, ...
    void writeBook(const QList<AddressRecord>& records)
    {
        AddressBook book(state);
        for (qsizetype i = 0; i < records.size(); ++i)
            QVERIFY(book.write(i + 1, records[i]));
    }

    QTemporaryDir dir;
    DataPaths paths{dir.path()};
    AppState state;
    ManualClock clock{QDateTime(QDate(2006, 6, 19), QTime(12, 0))};
    ErrorReporter errors;
    AlarmLog log{state, clock, paths, errors};
    RecordingMailTransport mail;
    AlarmMailer mailer{state, clock, mail, log};
};

} // namespace dovrane::test
