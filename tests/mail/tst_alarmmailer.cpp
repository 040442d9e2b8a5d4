#include "AddressBook.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AppState.h"
#include "RecordingMailTransport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace dovrane;
using dovrane::test::RecordingMailTransport;

namespace {

AddressRecord entry(char inUse, char option, const QString& address)
{
    AddressRecord r;
    r.InUse = inUse;
    r.SendOption = option;
    r.setContactName(QStringLiteral("Someone"));
    r.setAddress(address);
    for (int day = 1; day <= 7; ++day)
        r.DayChecked[day] = '0';
    return r;
}

AddressRecord sometimes(const QString& address, int day, int start, int stop)
{
    AddressRecord r = entry('1', '2', address);
    r.DayChecked[day] = '1';
    r.StartSecs[day] = start;
    r.StopSecs[day] = stop;
    return r;
}

// A clock that moves one second further every time it is read, to show which
// readings a send takes.
class TickingClock final : public Clock
{
public:
    explicit TickingClock(QDateTime start) : m_now(std::move(start)) {}
    QDateTime now() const override
    {
        const QDateTime t = m_now;
        m_now = m_now.addSecs(1);
        return t;
    }
    ClockTimer* createTimer(QObject*) override { return nullptr; }

private:
    mutable QDateTime m_now;
};

const QDateTime kMondayNoon(QDate(2006, 6, 19), QTime(12, 0, 0));

} // namespace

class TestAlarmMailer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<ErrorReporter> m_errors;
    std::unique_ptr<AlarmLog> m_log;
    std::unique_ptr<RecordingMailTransport> m_mail;

    void writeBook(const QList<AddressRecord>& records)
    {
        AddressBook book(*m_state);
        for (qsizetype i = 0; i < records.size(); ++i)
            QVERIFY(book.write(i + 1, records[i]));
    }

    QStringList logLines(const QDate& day = kMondayNoon.date()) const
    {
        QFile f(m_log->fileFor(day));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLatin1(f.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    static QString logged(const QString& time, const QString& address)
    {
        return time + QStringLiteral(" Email--> ") + address.leftJustified(39);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(DataPaths(m_dir->path()).logsDir()));
        m_state = std::make_unique<AppState>();
        m_state->AddressBookFile =
            std::make_unique<RecordFile>(m_dir->filePath(QStringLiteral("AddressBook.dat")), 120);
        QVERIFY(m_state->AddressBookFile->open());
        m_state->Facility = QStringLiteral("WXYZ");
        m_clock = std::make_unique<ManualClock>(kMondayNoon);
        m_errors = std::make_unique<ErrorReporter>();
        m_log = std::make_unique<AlarmLog>(*m_state, *m_clock, DataPaths(m_dir->path()), *m_errors);
        m_mail = std::make_unique<RecordingMailTransport>();
    }

    void cleanup()
    {
        m_mail.reset();
        m_log.reset();
        m_state.reset();
        m_dir.reset();
    }

    void oneMessageToQualifyingEntriesInRecordOrder()
    {
        writeBook({
            entry('1', '0', QStringLiteral("never@x.com")),
            entry('1', '1', QStringLiteral("always@x.com")),
            entry('0', '1', QStringLiteral("deleted@x.com")),
            sometimes(QStringLiteral("later@x.com"), 2, 13 * 3600, 14 * 3600),
            sometimes(QStringLiteral("office@x.com"), 2, 8 * 3600, 17 * 3600),
        });
        m_state->MailSubject = QStringLiteral("WXYZ Alarm");
        m_state->MailBody = QStringLiteral("06-19-2006 12:00:00 Silence Alarm");
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();

        QCOMPARE(m_mail->calls, (QStringList{QStringLiteral("signOn"), QStringLiteral("send")}));
        QCOMPARE(m_mail->sent.size(), 1);
        const MailMessage& m = m_mail->sent.first();
        QCOMPARE(m.recipients,
                 (QStringList{QStringLiteral("always@x.com"), QStringLiteral("office@x.com")}));
        QCOMPARE(m.subject, QStringLiteral("WXYZ Alarm"));
        QCOMPARE(m.body, QStringLiteral("06-19-2006 12:00:00 Silence Alarm"));
        QCOMPARE(logLines(),
                 (QStringList{logged(QStringLiteral("12:00:00"), QStringLiteral("always@x.com")),
                              logged(QStringLiteral("12:00:00"), QStringLiteral("office@x.com"))}));
        QVERIFY(m_mail->sessionId() != 0);
    }

    void sessionIsReused()
    {
        writeBook({entry('1', '1', QStringLiteral("a@x.com"))});
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();
        mailer.sendTestMessage(1);
        mailer.SendMail();
        QCOMPARE(m_mail->calls, (QStringList{QStringLiteral("signOn"), QStringLiteral("send"),
                                             QStringLiteral("send"), QStringLiteral("send")}));
    }

    void noQualifyingEntrySignsOffAndLogsNothing()
    {
        writeBook({entry('1', '0', QStringLiteral("never@x.com")),
                   sometimes(QStringLiteral("tue@x.com"), 3, 0, 86399)});
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();
        QCOMPARE(m_mail->calls, (QStringList{QStringLiteral("signOn"), QStringLiteral("signOff")}));
        QVERIFY(m_mail->sent.isEmpty());
        QVERIFY(logLines().isEmpty());
        QCOMPARE(m_mail->sessionId(), 0);
        // The next send signs on again.
        mailer.SendMail();
        QCOMPARE(m_mail->calls.count(QStringLiteral("signOn")), 2);
    }

    void emptyAddressBookSendsNothing()
    {
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();
        QVERIFY(m_mail->sent.isEmpty());
        QVERIFY(logLines().isEmpty());
    }

    void refusedSignOnSendsAndLogsNothing()
    {
        writeBook({entry('1', '1', QStringLiteral("a@x.com"))});
        m_mail->refuseSignOn = true;
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();
        mailer.sendTestMessage(1);
        QVERIFY(m_mail->sent.isEmpty());
        QVERIFY(logLines().isEmpty());
    }

    void weekdayIsTakenOnceAndTimePerEntry()
    {
        // Saturday 23:59:58.5: the weekday is read first; by the time record 2 is
        // examined it is Sunday 00:00:00.5, yet Saturday's row still decides.
        TickingClock clock(QDateTime(QDate(2006, 6, 24), QTime(23, 59, 58, 500)));
        writeBook({entry('1', '0', QStringLiteral("never@x.com")),
                   sometimes(QStringLiteral("saturday@x.com"), 7, 0, 86399)});
        AlarmMailer mailer(*m_state, clock, *m_mail, *m_log);
        mailer.SendMail();
        QCOMPARE(m_mail->sent.size(), 1);
        QCOMPARE(m_mail->sent.first().recipients, QStringList{QStringLiteral("saturday@x.com")});
    }

    void leadingBlanksTrimmedButLoggedAsStored()
    {
        writeBook({entry('1', '1', QStringLiteral("   lead@x.com"))});
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();
        QCOMPARE(m_mail->sent.first().recipients, QStringList{QStringLiteral("lead@x.com")});
        QCOMPARE(logLines(),
                 QStringList{logged(QStringLiteral("12:00:00"), QStringLiteral("   lead@x.com"))});
        QCOMPARE(logLines().first().size(), 9 + 9 + 39);
    }

    void testMessageReachesANeverEntry()
    {
        writeBook({entry('1', '1', QStringLiteral("a@x.com")),
                   entry('1', '0', QStringLiteral("never@x.com"))});
        m_clock->setNow(QDateTime(QDate(2006, 6, 15), QTime(14, 3, 27)));
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.sendTestMessage(2);
        QCOMPARE(m_mail->calls, (QStringList{QStringLiteral("signOn"), QStringLiteral("send")}));
        const MailMessage& m = m_mail->sent.first();
        QCOMPARE(m.recipients, QStringList{QStringLiteral("never@x.com")});
        QCOMPARE(m.subject, QStringLiteral("WXYZ Test Message"));
        QCOMPARE(m.body, QStringLiteral("06-15-2006 14:03:27 This is only a test."));
        QCOMPARE(logLines(QDate(2006, 6, 15)),
                 QStringList{logged(QStringLiteral("14:03:27"), QStringLiteral("never@x.com"))});
    }

    void testMessageToFreeSlotSendsNothing()
    {
        writeBook({entry('0', '1', QStringLiteral("gone@x.com"))});
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.sendTestMessage(1);
        mailer.sendTestMessage(7);
        QVERIFY(m_mail->sent.isEmpty());
        QVERIFY(logLines().isEmpty());
    }

    void noSelectionSendsNothing()
    {
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.sendTestMessage(0);
        QVERIFY(m_mail->calls.isEmpty());
    }

    void emptyFacilityKeepsLeadingBlank()
    {
        writeBook({entry('1', '1', QStringLiteral("a@x.com"))});
        m_state->Facility.clear();
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.sendTestMessage(1);
        QCOMPARE(m_mail->sent.first().subject, QStringLiteral(" Test Message"));
    }

    void lineBreaksNeverSplitARecipient()
    {
        // A stored address with a line break inside stays one recipient; the
        // transport decides it is unusable rather than reading two addresses.
        writeBook({entry('1', '1', QStringLiteral("a@x.com\r\nb@y.com")),
                   entry('1', '1', QStringLiteral("c@x.com"))});
        m_state->Facility = QStringLiteral("WXYZ\r\nBcc: evil@y.com");
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();
        QCOMPARE(m_mail->sent.first().recipients,
                 (QStringList{QStringLiteral("a@x.com\r\nb@y.com"), QStringLiteral("c@x.com")}));
        mailer.sendTestMessage(2);
        QCOMPARE(m_mail->sent.last().recipients, QStringList{QStringLiteral("c@x.com")});
        QCOMPARE(m_mail->sent.last().subject,
                 QStringLiteral("WXYZ\r\nBcc: evil@y.com Test Message"));
    }

    void readsTheFileAfreshForEverySend()
    {
        writeBook({entry('1', '1', QStringLiteral("a@x.com"))});
        AlarmMailer mailer(*m_state, *m_clock, *m_mail, *m_log);
        mailer.SendMail();
        AddressBook book(*m_state);
        QVERIFY(book.markDeleted(1));
        QVERIFY(book.write(2, entry('1', '1', QStringLiteral("b@x.com"))));
        mailer.SendMail();
        QCOMPARE(m_mail->sent.last().recipients, QStringList{QStringLiteral("b@x.com")});
        // A new handle from a re-run of the loader is used at once.
        m_state->AddressBookFile =
            std::make_unique<RecordFile>(m_dir->filePath(QStringLiteral("Empty.dat")), 120);
        QVERIFY(m_state->AddressBookFile->open());
        mailer.SendMail();
        QCOMPARE(m_mail->sent.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestAlarmMailer)
#include "tst_alarmmailer.moc"
