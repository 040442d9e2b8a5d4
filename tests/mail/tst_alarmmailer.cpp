#include "RecordingMailTransport.h"

#include <QFile>
#include <QtTest>

using namespace dovrane;
using dovrane::test::MailRig;

namespace {

AddressRecord entry(char inUse, char option, const QString& address)
{
    AddressRecord r;
    r.InUse = inUse;
    r.SendOption = option;
    r.setAddress(address);
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
const QStringList kSignOnSend{QStringLiteral("signOn"), QStringLiteral("send")};

QString logged(const QString& time, const QString& address)
{
    return time + QStringLiteral(" Email--> ") + address.leftJustified(39);
}

} // namespace

class TestAlarmMailer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MailRig> m;

    QStringList logLines(const QDate& day = kMondayNoon.date()) const
    {
        QFile f(m->log.fileFor(day));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLatin1(f.readAll()).split(QStringLiteral("\r\n"));
        if (lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private Q_SLOTS:
    void init() { m = std::make_unique<MailRig>(); }
    void cleanup() { m.reset(); }

    void oneMessageToQualifyingEntriesInRecordOrder()
    {
        m->writeBook({
            entry('1', '0', QStringLiteral("never@x.com")),
            entry('1', '1', QStringLiteral("always@x.com")),
            entry('0', '1', QStringLiteral("deleted@x.com")),
            sometimes(QStringLiteral("later@x.com"), 2, 13 * 3600, 14 * 3600),
            sometimes(QStringLiteral("office@x.com"), 2, 8 * 3600, 17 * 3600),
        });
        m->state.MailSubject = QStringLiteral("WXYZ Alarm");
        m->state.MailBody = QStringLiteral("06-19-2006 12:00:00 Silence Alarm");
        m->mailer.SendMail();

        QCOMPARE(m->mail.calls, kSignOnSend);
        QCOMPARE(m->mail.sent.size(), 1);
        const MailMessage& sent = m->mail.sent.first();
        QCOMPARE(sent.recipients,
                 (QStringList{QStringLiteral("always@x.com"), QStringLiteral("office@x.com")}));
        QCOMPARE(sent.subject, QStringLiteral("WXYZ Alarm"));
        QCOMPARE(sent.body, QStringLiteral("06-19-2006 12:00:00 Silence Alarm"));
        QCOMPARE(logLines(),
                 (QStringList{logged(QStringLiteral("12:00:00"), QStringLiteral("always@x.com")),
                              logged(QStringLiteral("12:00:00"), QStringLiteral("office@x.com"))}));
        // The session stays open for the next send and the test message.
        m->mailer.sendTestMessage(2);
        m->mailer.SendMail();
        QCOMPARE(m->mail.calls, (kSignOnSend + QStringList{"send", "send"}));
    }

    void noQualifyingEntrySignsOffAndLogsNothing()
    {
        m->writeBook({entry('1', '0', QStringLiteral("never@x.com")),
                      sometimes(QStringLiteral("tue@x.com"), 3, 0, 86399)});
        m->mailer.SendMail();
        QCOMPARE(m->mail.calls, (QStringList{QStringLiteral("signOn"), QStringLiteral("signOff")}));
        QVERIFY(m->mail.sent.isEmpty());
        QVERIFY(logLines().isEmpty());
        QCOMPARE(m->mail.sessionId(), 0);
        m->mailer.SendMail(); // signs on again
        QCOMPARE(m->mail.calls.count(QStringLiteral("signOn")), 2);
    }

    void refusedSignOnSendsAndLogsNothing()
    {
        m->writeBook({entry('1', '1', QStringLiteral("a@x.com"))});
        m->mail.refuseSignOn = true;
        m->mailer.SendMail();
        m->mailer.sendTestMessage(1);
        QVERIFY(m->mail.sent.isEmpty());
        QVERIFY(logLines().isEmpty());
    }

    void weekdayIsTakenOnceAndTimePerEntry()
    {
        // Saturday 23:59:58.5: the weekday is read first; by the time record 2 is
        // examined it is Sunday 00:00:00.5, yet Saturday's row still decides.
        TickingClock clock(QDateTime(QDate(2006, 6, 24), QTime(23, 59, 58, 500)));
        m->writeBook({entry('1', '0', QStringLiteral("never@x.com")),
                      sometimes(QStringLiteral("saturday@x.com"), 7, 0, 86399)});
        AlarmMailer mailer(m->state, clock, m->mail, m->log);
        mailer.SendMail();
        QCOMPARE(m->mail.sent.size(), 1);
        QCOMPARE(m->mail.sent.first().recipients, QStringList{QStringLiteral("saturday@x.com")});
    }

    void leadingBlanksTrimmedButLoggedAsStored()
    {
        m->writeBook({entry('1', '1', QStringLiteral("   lead@x.com"))});
        m->mailer.SendMail();
        QCOMPARE(m->mail.sent.first().recipients, QStringList{QStringLiteral("lead@x.com")});
        QCOMPARE(logLines(),
                 QStringList{logged(QStringLiteral("12:00:00"), QStringLiteral("   lead@x.com"))});
        QCOMPARE(logLines().first().size(), 9 + 9 + 39);
    }

    void testMessageReachesANeverEntry()
    {
        m->writeBook({entry('1', '1', QStringLiteral("a@x.com")),
                      entry('1', '0', QStringLiteral("never@x.com"))});
        m->clock.setNow(QDateTime(QDate(2006, 6, 15), QTime(14, 3, 27)));
        m->mailer.sendTestMessage(2);
        QCOMPARE(m->mail.calls, kSignOnSend);
        const MailMessage& sent = m->mail.sent.first();
        QCOMPARE(sent.recipients, QStringList{QStringLiteral("never@x.com")});
        QCOMPARE(sent.subject, QStringLiteral("WXYZ Test Message"));
        QCOMPARE(sent.body, QStringLiteral("06-15-2006 14:03:27 This is only a test."));
        QCOMPARE(logLines(QDate(2006, 6, 15)),
                 QStringList{logged(QStringLiteral("14:03:27"), QStringLiteral("never@x.com"))});
        m->state.Facility.clear();
        m->mailer.sendTestMessage(2);
        QCOMPARE(m->mail.sent.last().subject, QStringLiteral(" Test Message"));
    }

    void testMessageToFreeSlotSendsNothing()
    {
        m->writeBook({entry('0', '1', QStringLiteral("gone@x.com"))});
        m->mailer.sendTestMessage(1);
        m->mailer.sendTestMessage(7);
        QVERIFY(m->mail.sent.isEmpty());
        QVERIFY(logLines().isEmpty());
    }

    void eachSendReadsTheBookAndClockAfresh()
    {
        // The end-of-alarm mail goes to whoever qualifies when the alarm ends.
        m->writeBook({entry('1', '1', QStringLiteral("a@x.com")),
                      sometimes(QStringLiteral("office@x.com"), 2, 8 * 3600, 17 * 3600)});
        m->mailer.SendMail();
        AddressBook book(m->state);
        QVERIFY(book.markDeleted(1));
        QVERIFY(book.write(3, entry('1', '1', QStringLiteral("b@x.com"))));
        m->clock.setNow(kMondayNoon.addSecs(6 * 3600));
        m->mailer.SendMail();
        QCOMPARE(m->mail.sent.last().recipients, QStringList{QStringLiteral("b@x.com")});
    }
};

QTEST_GUILESS_MAIN(TestAlarmMailer)
#include "tst_alarmmailer.moc"
