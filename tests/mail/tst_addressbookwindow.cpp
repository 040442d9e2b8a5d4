#include "AddressBook.h"
#include "AddressBookWindow.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AppState.h"
#include "RecordingMailTransport.h"
#include "TimeOfDay.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace dovrane;
using dovrane::test::RecordingMailTransport;

namespace {

AddressRecord entry(char inUse, char option, const QString& name, const QString& address)
{
    AddressRecord r;
    r.InUse = inUse;
    r.SendOption = option;
    r.setContactName(name);
    r.setAddress(address);
    for (int day = 1; day <= 7; ++day)
        r.DayChecked[day] = '0';
    return r;
}

} // namespace

class TestAddressBookWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<ErrorReporter> m_errors;
    std::unique_ptr<AlarmLog> m_log;
    std::unique_ptr<RecordingMailTransport> m_mail;
    std::unique_ptr<AlarmMailer> m_mailer;
    AddressBookListPosition m_position;
    std::unique_ptr<AddressBookWindow> m_window;

    QString bookPath() const { return m_dir->filePath(QStringLiteral("AddressBook.dat")); }
    QByteArray fileBytes() const
    {
        QFile f(bookPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeBook(const QList<AddressRecord>& records)
    {
        AddressBook book(*m_state);
        for (qsizetype i = 0; i < records.size(); ++i)
            QVERIFY(book.write(i + 1, records[i]));
    }
    void southDeletedEast()
    {
        writeBook({entry('1', '1', QStringLiteral("South"), QStringLiteral("south@x.com")),
                   entry('0', '1', QStringLiteral("Gone"), QStringLiteral("gone@x.com")),
                   entry('1', '2', QStringLiteral("East"), QStringLiteral("east@x.com"))});
    }
    AddressBookWindow* open()
    {
        m_window = std::make_unique<AddressBookWindow>(*m_state, *m_mailer, *m_errors, m_position);
        m_window->show();
        return m_window.get();
    }
    template <typename T> T* child(const QString& name)
    {
        T* w = m_window->findChild<T*>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    QListWidget* list() { return child<QListWidget>(QStringLiteral("list1")); }
    QStringList names()
    {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i)
            out.append(list()->item(i)->text().left(16).trimmed());
        return out;
    }
    // Clicks the round indicator: a radio button in a wide layout only reacts there
    // or on its caption, not at the middle of its box.
    static void choose(QRadioButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    QString label3() { return child<QLabel>(QStringLiteral("Label3"))->text(); }
    void click(const QString& button)
    {
        QPushButton* b = child<QPushButton>(button);
        QVERIFY(b->isVisible());
        QTest::mouseClick(b, Qt::LeftButton);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(DataPaths(m_dir->path()).logsDir()));
        m_state = std::make_unique<AppState>();
        m_state->Facility = QStringLiteral("WXYZ");
        m_state->AddressBookFile = std::make_unique<RecordFile>(bookPath(), 120);
        QVERIFY(m_state->AddressBookFile->open());
        m_clock = std::make_unique<ManualClock>(QDateTime(QDate(2006, 6, 19), QTime(12, 0)));
        m_errors = std::make_unique<ErrorReporter>();
        m_log = std::make_unique<AlarmLog>(*m_state, *m_clock, DataPaths(m_dir->path()), *m_errors);
        m_mail = std::make_unique<RecordingMailTransport>();
        m_mailer = std::make_unique<AlarmMailer>(*m_state, *m_clock, *m_mail, *m_log);
        m_position = {};
    }
    void cleanup()
    {
        m_window.reset();
        m_mailer.reset();
        m_mail.reset();
        m_log.reset();
        m_state.reset();
        m_dir.reset();
    }

    void controlsAndCaptions()
    {
        open();
        QCOMPARE(m_window->objectName(), QStringLiteral("frmAddressBook"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Address Book"));
        QCOMPARE(child<QLabel>(QStringLiteral("Label8"))->text(),
                 QStringLiteral(" Start                       Stop"));
        const QStringList days{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        for (int i = 1; i <= 7; ++i) {
            QCOMPARE(child<QCheckBox>(QStringLiteral("Check1_%1").arg(i))->text(), days[i - 1]);
            QCOMPARE(child<QLineEdit>(QStringLiteral("txtStart_%1").arg(i))->maxLength(), 8);
            QCOMPARE(child<QLineEdit>(QStringLiteral("txtStop_%1").arg(i))->maxLength(), 8);
        }
        QCOMPARE(child<QRadioButton>(QStringLiteral("opt1_0"))->text(), QStringLiteral("Never"));
        QCOMPARE(child<QRadioButton>(QStringLiteral("opt1_1"))->text(), QStringLiteral("Always"));
        QCOMPARE(child<QRadioButton>(QStringLiteral("opt1_2"))->text(),
                 QStringLiteral("Sometimes"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtName"))->maxLength(), 25);
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtNumber"))->maxLength(), 38);
        QVERIFY(list()->font().fixedPitch() || QFontInfo(list()->font()).fixedPitch());
        for (const char* name : {"cmdTest", "cmdApply", "cmdClose", "cmdNew", "cmdDelete"})
            QVERIFY(m_window->findChild<QPushButton*>(QString::fromLatin1(name)));
        QVERIFY(m_window->findChild<QAction*>(QStringLiteral("mnuExit")));
        QVERIFY(m_window->findChild<QMenu*>(QStringLiteral("mnuFiles")));
    }

    void emptyBookHidesTheEntry()
    {
        open();
        QCOMPARE(list()->count(), 0);
        QVERIFY(!child<QLineEdit>(QStringLiteral("txtName"))->isVisible());
        QVERIFY(!child<QPushButton>(QStringLiteral("cmdApply"))->isVisible());
        QVERIFY(child<QCheckBox>(QStringLiteral("Check1_1"))->isEnabled());
        // Send Test and Delete with nothing selected do nothing.
        click(QStringLiteral("cmdTest"));
        click(QStringLiteral("cmdDelete"));
        QVERIFY(m_mail->calls.isEmpty());
        QVERIFY(fileBytes().isEmpty());
    }

    void firstEntryOfAnEmptyBookIsAlways()
    {
        open();
        click(QStringLiteral("cmdNew"));
        QCOMPARE(label3(), QStringLiteral("1"));
        QVERIFY(child<QRadioButton>(QStringLiteral("opt1_1"))->isChecked());
        child<QLineEdit>(QStringLiteral("txtName"))->setText(QStringLiteral("Chief"));
        child<QLineEdit>(QStringLiteral("txtNumber"))->setText(QStringLiteral("chief@x.com"));
        click(QStringLiteral("cmdApply"));
        const QByteArray bytes = fileBytes();
        QCOMPARE(bytes.size(), 120);
        QCOMPARE(bytes.left(2), QByteArray("11"));
        QCOMPARE(list()->item(0)->text(), QStringLiteral("Chief           ") + QLatin1Char(' ') +
                                              QStringLiteral("chief@x.com").leftJustified(39) +
                                              QStringLiteral(" Always"));
    }

    void opensSortedAndShowsFirstLine()
    {
        southDeletedEast();
        open();
        QCOMPARE(names(), (QStringList{"East", "South"}));
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(label3(), QStringLiteral("3"));
        QCOMPARE(m_window->currentRecord(), 3);
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtName"))->text(), QStringLiteral("East"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtNumber"))->text(),
                 QStringLiteral("east@x.com"));
        QVERIFY(child<QRadioButton>(QStringLiteral("opt1_2"))->isChecked());
        QVERIFY(child<QPushButton>(QStringLiteral("cmdApply"))->isVisible());
        QVERIFY(list()->item(1)->text().endsWith(QStringLiteral(" Always")));
    }

    void newThenApplyFillsTheDeletedSlot()
    {
        southDeletedEast();
        open();
        click(QStringLiteral("cmdNew"));
        QCOMPARE(label3(), QStringLiteral("2"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtName"))->text(), QString());
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtStart_2"))->text(), QString());
        QVERIFY(child<QRadioButton>(QStringLiteral("opt1_2"))->isChecked()); // left as it was
        child<QLineEdit>(QStringLiteral("txtName"))->setText(QStringLiteral("North"));
        child<QLineEdit>(QStringLiteral("txtNumber"))->setText(QStringLiteral("north@x.com"));
        click(QStringLiteral("cmdApply"));

        AddressBook book(*m_state);
        const AddressRecord north = book.read(2);
        QVERIFY(north.inUse());
        QCOMPARE(north.ContactName.trimmed(), QStringLiteral("North"));
        QCOMPARE(north.SendOption, '2');
        QCOMPARE(north.StartSecs[1], 0);
        QCOMPARE(names(), (QStringList{"East", "North", "South"}));
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(label3(), QStringLiteral("3"));
        QCOMPARE(fileBytes().size(), 360);
    }

    void renameMovesTheEntryButKeepsThePosition()
    {
        southDeletedEast();
        open();
        child<QLineEdit>(QStringLiteral("txtName"))->setText(QStringLiteral("West"));
        click(QStringLiteral("cmdApply"));
        AddressBook book(*m_state);
        QCOMPARE(book.read(3).ContactName.trimmed(), QStringLiteral("West"));
        QCOMPARE(names(), (QStringList{"South", "West"}));
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(label3(), QStringLiteral("1"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtName"))->text(), QStringLiteral("South"));
    }

    void applyKeepsTheSelectedLine()
    {
        writeBook({entry('1', '1', QStringLiteral("alpha"), QStringLiteral("a@x.com")),
                   entry('1', '1', QStringLiteral("Bravo"), QStringLiteral("b@x.com")),
                   entry('1', '1', QStringLiteral("charlie"), QStringLiteral("c@x.com")),
                   entry('1', '1', QStringLiteral("Delta"), QStringLiteral("d@x.com"))});
        open();
        QCOMPARE(names(), (QStringList{"alpha", "Bravo", "charlie", "Delta"}));
        list()->setCurrentRow(2);
        QCOMPARE(label3(), QStringLiteral("3"));
        child<QLineEdit>(QStringLiteral("txtNumber"))->setText(QStringLiteral("new@x.com"));
        click(QStringLiteral("cmdApply"));
        QCOMPARE(list()->currentRow(), 2);
        QCOMPARE(label3(), QStringLiteral("3"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtNumber"))->text(),
                 QStringLiteral("new@x.com"));
        QCOMPARE(m_position.selectedIndex, 2);
    }

    void longNameIsCut()
    {
        southDeletedEast();
        open();
        child<QLineEdit>(QStringLiteral("txtName"))
            ->setText(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY"));
        click(QStringLiteral("cmdApply"));
        AddressBook book(*m_state);
        QCOMPARE(book.read(3).ContactName, QStringLiteral("ABCDEFGHIJKLMNOP"));
        QVERIFY(list()->item(0)->text().startsWith(QStringLiteral("ABCDEFGHIJKLMNOP east@")));
    }

    void deleteOfTheOnlyEntryEmptiesTheList()
    {
        writeBook({entry('1', '1', QStringLiteral("Solo"), QStringLiteral("solo@x.com"))});
        open();
        const QByteArray before = fileBytes();
        click(QStringLiteral("cmdDelete"));
        QCOMPARE(list()->count(), 0);
        QByteArray expected = before;
        expected[0] = '0';
        QCOMPARE(fileBytes(), expected);
        QVERIFY(!child<QLineEdit>(QStringLiteral("txtName"))->isVisible());
        QVERIFY(!child<QPushButton>(QStringLiteral("cmdApply"))->isVisible());
    }

    void timesAreReadAndShown_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("seconds");
        QTest::newRow("24-hour") << QStringLiteral("08:30:00") << 30600;
        QTest::newRow("no seconds") << QStringLiteral("17:05") << 61500;
        QTest::newRow("12-hour") << QStringLiteral("8:15 pm") << 72900;
        QTest::newRow("empty") << QString() << 0;
    }
    void timesAreReadAndShown()
    {
        QFETCH(QString, typed);
        QFETCH(int, seconds);
        southDeletedEast();
        open();
        QSignalSpy reported(m_errors.get(), &ErrorReporter::reported);
        child<QLineEdit>(QStringLiteral("txtStart_2"))->setText(typed);
        child<QCheckBox>(QStringLiteral("Check1_2"))->setChecked(true);
        click(QStringLiteral("cmdApply"));
        QCOMPARE(reported.size(), 0);
        AddressBook book(*m_state);
        const AddressRecord east = book.read(3);
        QCOMPARE(east.StartSecs[2], seconds);
        QCOMPARE(east.DayChecked[2], '1');
        // East is shown again after the reload.
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtStart_2"))->text(),
                 TimeOfDay::longText(seconds));
    }

    void applyKeepsWhatItShowed_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("24-hour") << QLocale::c();
        QTest::newRow("12-hour") << QLocale(QLocale::English, QLocale::UnitedStates);
    }
    void applyKeepsWhatItShowed()
    {
        // An entry opened and applied unchanged is written back byte for byte: the
        // field limits on typing must not cut a 39-character address or "5:00:00 PM".
        QFETCH(QLocale, locale);
        struct RestoreLocale
        {
            QLocale saved;
            ~RestoreLocale() { QLocale::setDefault(saved); }
        } restore;
        QLocale::setDefault(locale);
        const QString address = QStringLiteral("night.shift.engineer@transmitter.ex.com");
        QCOMPARE(address.size(), 39);
        AddressRecord r = entry('1', '2', QStringLiteral("Night"), address);
        r.DayChecked[2] = '1';
        r.StartSecs[2] = 13 * 3600 + 30 * 60;
        r.StopSecs[2] = 23 * 3600 + 59 * 60 + 59;
        r.StopSecs[7] = 17 * 3600;
        writeBook({r});
        open();
        const QByteArray before = fileBytes();
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtStop_7"))->text(),
                 TimeOfDay::longText(17 * 3600));
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtNumber"))->text(), address);
        click(QStringLiteral("cmdApply"));
        QCOMPARE(fileBytes(), before);
    }

    void textThatIsNoTimeIsRejected()
    {
        southDeletedEast();
        open();
        QSignalSpy reported(m_errors.get(), &ErrorReporter::reported);
        const QByteArray before = fileBytes();
        child<QLineEdit>(QStringLiteral("txtName"))->setText(QStringLiteral("Changed"));
        child<QLineEdit>(QStringLiteral("txtStop_4"))->setText(QStringLiteral("25:99"));
        click(QStringLiteral("cmdApply"));
        QCOMPARE(reported.size(), 1);
        QVERIFY(reported.at(0).at(0).toString().contains(QStringLiteral("25:99")));
        QVERIFY(reported.at(0).at(0).toString().contains(QStringLiteral("Wed")));
        QCOMPARE(fileBytes(), before);
        QCOMPARE(child<QLineEdit>(QStringLiteral("txtName"))->text(), QStringLiteral("Changed"));
        child<QLineEdit>(QStringLiteral("txtStop_4"))->setText(QStringLiteral("noon"));
        click(QStringLiteral("cmdApply"));
        QCOMPARE(reported.size(), 2);
        QCOMPARE(fileBytes(), before);
    }

    void optionRuleKeepsRowContents()
    {
        AddressRecord r = entry('1', '2', QStringLiteral("Ops"), QStringLiteral("ops@x.com"));
        r.DayChecked[2] = '1';
        r.StartSecs[2] = 8 * 3600;
        r.StopSecs[2] = 17 * 3600;
        writeBook({r});
        open();
        auto* check = child<QCheckBox>(QStringLiteral("Check1_2"));
        auto* start = child<QLineEdit>(QStringLiteral("txtStart_2"));
        QVERIFY(check->isEnabled());
        choose(child<QRadioButton>(QStringLiteral("opt1_1")));
        QVERIFY(child<QRadioButton>(QStringLiteral("opt1_1"))->isChecked());
        QVERIFY(!check->isEnabled());
        QVERIFY(!start->isEnabled());
        QVERIFY(check->isChecked());
        QCOMPARE(start->text(), TimeOfDay::longText(8 * 3600));
        click(QStringLiteral("cmdApply"));
        AddressBook book(*m_state);
        const AddressRecord stored = book.read(1);
        QCOMPARE(stored.SendOption, '1');
        QCOMPARE(stored.DayChecked[2], '1');
        QCOMPARE(stored.StopSecs[2], 17 * 3600);
        choose(child<QRadioButton>(QStringLiteral("opt1_0")));
        QVERIFY(!check->isEnabled());
        choose(child<QRadioButton>(QStringLiteral("opt1_2")));
        QVERIFY(check->isEnabled());
    }

    void doubleClickEmptiesATimeField()
    {
        southDeletedEast();
        open();
        auto* stop = child<QLineEdit>(QStringLiteral("txtStop_3"));
        QVERIFY(!stop->text().isEmpty());
        QTest::mouseDClick(stop, Qt::LeftButton);
        QCOMPARE(stop->text(), QString());
    }

    void enterMovesTheFocus()
    {
        southDeletedEast();
        open();
        QApplication::setActiveWindow(m_window.get());
        auto* name = child<QLineEdit>(QStringLiteral("txtName"));
        auto* address = child<QLineEdit>(QStringLiteral("txtNumber"));
        name->setFocus();
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_VERIFY(address->hasFocus());
        const QByteArray before = fileBytes();
        QTest::keyClick(address, Qt::Key_Return);
        QTRY_VERIFY(child<QPushButton>(QStringLiteral("cmdApply"))->hasFocus());
        QCOMPARE(fileBytes(), before); // focus only, nothing applied
    }

    void sendTestGoesToTheSelectedEntry()
    {
        writeBook({entry('1', '0', QStringLiteral("Never"), QStringLiteral(" never@x.com"))});
        open();
        click(QStringLiteral("cmdTest"));
        QCOMPARE(m_mail->sent.size(), 1);
        QCOMPARE(m_mail->sent.first().recipients, QStringList{QStringLiteral("never@x.com")});
        QCOMPARE(m_mail->sent.first().subject, QStringLiteral("WXYZ Test Message"));
    }

    void closeSavesNothing()
    {
        southDeletedEast();
        open();
        const QByteArray before = fileBytes();
        child<QLineEdit>(QStringLiteral("txtName"))->setText(QStringLiteral("Changed"));
        click(QStringLiteral("cmdClose"));
        QVERIFY(!m_window->isVisible());
        QCOMPARE(fileBytes(), before);
    }
};

QTEST_MAIN(TestAddressBookWindow)
#include "tst_addressbookwindow.moc"
