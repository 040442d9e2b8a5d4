#include "AddressBookWindow.h"
#include "RecordingMailTransport.h"
#include "TimeOfDay.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace dovrane;
using dovrane::test::MailRig;

class TestAddressBookWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MailRig> m;
    AddressBookListPosition m_position;
    std::unique_ptr<AddressBookWindow> m_window;

    static AddressRecord entry(char option, const char* name)
    {
        return MailRig::entry(option, QString::fromLatin1(name),
                              QString::fromLatin1(name).toLower() + QStringLiteral("@x.com"));
    }
    QByteArray fileBytes() const
    {
        QFile f(m->paths.addressBookFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    AddressRecord record(qint64 n) { return AddressBook(m->state).read(n); }
    // Record 1 South (Always), record 2 deleted, record 3 East (Sometimes).
    void southDeletedEast()
    {
        AddressRecord gone = entry('1', "Gone");
        gone.InUse = '0';
        m->writeBook({entry('1', "South"), gone, entry('2', "East")});
    }
    void open()
    {
        m_window = std::make_unique<AddressBookWindow>(m->state, m->mailer, m->errors, m_position);
        m_window->show();
    }
    template <typename T = QLineEdit> T* child(const QString& name)
    {
        T* w = m_window->findChild<T*>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    QLineEdit* edit(const char* name) { return child(QString::fromLatin1(name)); }
    QListWidget* list() { return child<QListWidget>(QStringLiteral("list1")); }
    // The listed names, the selected line, Label3 and txtName as one text.
    QString shown()
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text().left(16).trimmed());
        return names.join(QLatin1Char(',')) +
               QStringLiteral(" | %1 | %2 | %3")
                   .arg(list()->currentRow())
                   .arg(child<QLabel>(QStringLiteral("Label3"))->text(), edit("txtName")->text());
    }
    bool visible(const char* name)
    {
        return child<QWidget>(QString::fromLatin1(name))->isVisible();
    }
    // Clicks the round indicator: a radio button in a wide layout only reacts there
    // or on its caption, not at the middle of its box.
    void choose(int option)
    {
        auto* button = child<QRadioButton>(QStringLiteral("opt1_%1").arg(option));
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    bool chosen(int option)
    {
        return child<QRadioButton>(QStringLiteral("opt1_%1").arg(option))->isChecked();
    }
    void click(const char* button)
    {
        QVERIFY(visible(button));
        QTest::mouseClick(child<QPushButton>(QString::fromLatin1(button)), Qt::LeftButton);
    }

private Q_SLOTS:
    void init()
    {
        m = std::make_unique<MailRig>();
        m_position = {};
    }
    void cleanup()
    {
        m_window.reset();
        m.reset();
        QLocale::setDefault(QLocale::system());
    }

    void controlsAndCaptions()
    {
        open();
        QCOMPARE(m_window->objectName(), QStringLiteral("frmAddressBook"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Address Book"));
        const QStringList captions{
            "Label1=Name",      "Label2=Address",    "Label8= Start                       Stop",
            "Check1_1=Sun",     "Check1_2=Mon",      "Check1_3=Tue",
            "Check1_4=Wed",     "Check1_5=Thu",      "Check1_6=Fri",
            "Check1_7=Sat",     "opt1_0=Never",      "opt1_1=Always",
            "opt1_2=Sometimes", "cmdTest=Send Test", "cmdApply=Apply",
            "cmdClose=Close",   "cmdNew=New",        "cmdDelete=Delete",
            "mnuFiles=Files",   "mnuExit=Exit"};
        for (const QString& caption : captions) {
            QObject* control = child<QObject>(caption.section(QLatin1Char('='), 0, 0));
            const char* property = qobject_cast<QMenu*>(control) ? "title" : "text";
            QCOMPARE(control->property(property).toString().remove(QLatin1Char('&')),
                     caption.section(QLatin1Char('='), 1));
        }
        for (int i = 1; i <= 7; ++i) {
            QCOMPARE(child(QStringLiteral("txtStart_%1").arg(i))->maxLength(), 8);
            QCOMPARE(child(QStringLiteral("txtStop_%1").arg(i))->maxLength(), 8);
        }
        QCOMPARE(edit("txtName")->maxLength(), 25);
        QCOMPARE(edit("txtNumber")->maxLength(), 38);
        QVERIFY(list()->font().fixedPitch() || QFontInfo(list()->font()).fixedPitch());
    }

    void emptyBookThenFirstEntry()
    {
        open();
        QCOMPARE(list()->count(), 0);
        QVERIFY(!visible("txtName") && !visible("cmdApply"));
        QVERIFY(child<QCheckBox>(QStringLiteral("Check1_1"))->isEnabled());
        // Send Test and Delete with nothing selected do nothing.
        click("cmdTest");
        click("cmdDelete");
        QVERIFY(m->mail.calls.isEmpty());
        QVERIFY(fileBytes().isEmpty());
        // The first entry goes to record 1 and starts as Always.
        click("cmdNew");
        QVERIFY(chosen(1));
        edit("txtName")->setText(QStringLiteral("Chief Engineer On Duty XY")); // 25, cut to 16
        edit("txtNumber")->setText(QStringLiteral("chief@x.com"));
        click("cmdApply");
        QCOMPARE(fileBytes().size(), 120);
        QCOMPARE(fileBytes().left(18), QByteArray("11Chief Engineer O"));
        QCOMPARE(list()->item(0)->text(), QStringLiteral("Chief Engineer O ") +
                                              QStringLiteral("chief@x.com").leftJustified(39) +
                                              QStringLiteral(" Always"));
        QCOMPARE(shown(), QStringLiteral("Chief Engineer O | 0 | 1 | Chief Engineer O"));
    }

    void opensSortedThenNewFillsTheDeletedSlot()
    {
        southDeletedEast();
        open();
        QCOMPARE(shown(), QStringLiteral("East,South | 0 | 3 | East"));
        QCOMPARE(edit("txtNumber")->text(), QStringLiteral("east@x.com"));
        QVERIFY(chosen(2) && visible("cmdApply"));
        QVERIFY(list()->item(1)->text().endsWith(QStringLiteral(" Always")));

        click("cmdNew");
        QCOMPARE(shown(), QStringLiteral("East,South | 0 | 2 | "));
        QCOMPARE(edit("txtStart_2")->text(), QString());
        QVERIFY(chosen(2)); // left as it was
        edit("txtName")->setText(QStringLiteral("North"));
        edit("txtNumber")->setText(QStringLiteral("north@x.com"));
        click("cmdApply");
        QCOMPARE(record(2).ContactName.trimmed(), QStringLiteral("North"));
        QCOMPARE(record(2).SendOption, '2');
        QCOMPARE(fileBytes().size(), 360);
        QCOMPARE(shown(), QStringLiteral("East,North,South | 0 | 3 | East"));
    }

    void renameMovesTheEntryButKeepsThePosition()
    {
        southDeletedEast();
        open();
        edit("txtName")->setText(QStringLiteral("West"));
        click("cmdApply");
        QCOMPARE(record(3).ContactName.trimmed(), QStringLiteral("West"));
        QCOMPARE(shown(), QStringLiteral("South,West | 0 | 1 | South"));
    }

    void applyKeepsTheSelectedLine()
    {
        m->writeBook(
            {entry('1', "alpha"), entry('1', "Bravo"), entry('1', "charlie"), entry('1', "Delta")});
        open();
        list()->setCurrentRow(2);
        QCOMPARE(shown(), QStringLiteral("alpha,Bravo,charlie,Delta | 2 | 3 | charlie"));
        edit("txtNumber")->setText(QStringLiteral("new@x.com"));
        click("cmdApply");
        QCOMPARE(shown(), QStringLiteral("alpha,Bravo,charlie,Delta | 2 | 3 | charlie"));
        QCOMPARE(edit("txtNumber")->text(), QStringLiteral("new@x.com"));
        QCOMPARE(m_position.selectedIndex, 2);
    }

    void deleteOfTheOnlyEntryEmptiesTheList()
    {
        m->writeBook({entry('1', "Solo")});
        open();
        const QByteArray before = fileBytes();
        click("cmdDelete");
        QCOMPARE(list()->count(), 0);
        QCOMPARE(fileBytes(), QByteArray("0") + before.mid(1));
        QVERIFY(!visible("txtName") && !visible("cmdApply"));
    }

    void timesAreReadAndShown_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("seconds");
        QTest::newRow("24-hour") << QStringLiteral("08:30:00") << 30600;
        QTest::newRow("empty") << QString() << 0;
    }
    void timesAreReadAndShown()
    {
        QFETCH(QString, typed);
        QFETCH(int, seconds);
        southDeletedEast();
        open();
        QSignalSpy reported(&m->errors, &ErrorReporter::reported);
        edit("txtStart_2")->setText(typed);
        child<QCheckBox>(QStringLiteral("Check1_2"))->setChecked(true);
        click("cmdApply");
        QCOMPARE(reported.size(), 0);
        QCOMPARE(record(3).StartSecs[2], seconds);
        QCOMPARE(record(3).DayChecked[2], '1');
        // East is shown again after the reload.
        QCOMPARE(edit("txtStart_2")->text(), TimeOfDay::longText(seconds));
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
        QLocale::setDefault(locale);
        const QString address = QStringLiteral("night.shift.engineer@transmitter.ex.com");
        QCOMPARE(address.size(), 39);
        AddressRecord r = MailRig::entry('2', QStringLiteral("Night"), address);
        r.DayChecked[2] = '1';
        r.StartSecs[2] = 13 * 3600 + 30 * 60;
        r.StopSecs[2] = 23 * 3600 + 59 * 60 + 59;
        r.StopSecs[7] = 17 * 3600;
        m->writeBook({r});
        open();
        const QByteArray before = fileBytes();
        QCOMPARE(edit("txtStop_7")->text(), TimeOfDay::longText(17 * 3600));
        QCOMPARE(edit("txtNumber")->text(), address);
        click("cmdApply");
        QCOMPARE(fileBytes(), before);
    }

    void badTimeIsRejectedAndCloseSavesNothing()
    {
        southDeletedEast();
        open();
        QSignalSpy reported(&m->errors, &ErrorReporter::reported);
        const QByteArray before = fileBytes();
        edit("txtName")->setText(QStringLiteral("Changed"));
        edit("txtStop_4")->setText(QStringLiteral("25:99"));
        click("cmdApply");
        QCOMPARE(reported.size(), 1);
        QVERIFY(reported.at(0).at(0).toString().contains(QStringLiteral("25:99")));
        QVERIFY(reported.at(0).at(0).toString().contains(QStringLiteral("Wed")));
        QCOMPARE(fileBytes(), before);
        QCOMPARE(edit("txtName")->text(), QStringLiteral("Changed"));
        click("cmdClose");
        QVERIFY(!m_window->isVisible());
        QCOMPARE(fileBytes(), before);
    }

    void optionRuleKeepsRowContents()
    {
        AddressRecord r = entry('2', "Ops");
        r.DayChecked[2] = '1';
        r.StartSecs[2] = 8 * 3600;
        r.StopSecs[2] = 17 * 3600;
        m->writeBook({r});
        open();
        auto* check = child<QCheckBox>(QStringLiteral("Check1_2"));
        QVERIFY(check->isEnabled());
        choose(1);
        QVERIFY(chosen(1));
        QVERIFY(!check->isEnabled() && !edit("txtStart_2")->isEnabled());
        QVERIFY(check->isChecked());
        QCOMPARE(edit("txtStart_2")->text(), TimeOfDay::longText(8 * 3600));
        click("cmdApply");
        QCOMPARE(record(1).SendOption, '1');
        QCOMPARE(record(1).DayChecked[2], '1');
        QCOMPARE(record(1).StopSecs[2], 17 * 3600);
        choose(0);
        QVERIFY(!check->isEnabled());
        choose(2);
        QVERIFY(check->isEnabled());
    }

    void doubleClickEmptiesAndEnterMovesTheFocus()
    {
        southDeletedEast();
        open();
        QVERIFY(!edit("txtStop_3")->text().isEmpty());
        QTest::mouseDClick(edit("txtStop_3"), Qt::LeftButton);
        QCOMPARE(edit("txtStop_3")->text(), QString());

        QApplication::setActiveWindow(m_window.get());
        edit("txtName")->setFocus();
        QTest::keyClick(edit("txtName"), Qt::Key_Return);
        QTRY_VERIFY(edit("txtNumber")->hasFocus());
        const QByteArray before = fileBytes();
        QTest::keyClick(edit("txtNumber"), Qt::Key_Return);
        QTRY_VERIFY(child<QPushButton>(QStringLiteral("cmdApply"))->hasFocus());
        QCOMPARE(fileBytes(), before); // focus only, nothing applied
    }

    void sendTestGoesToTheSelectedEntry()
    {
        m->writeBook(
            {MailRig::entry('0', QStringLiteral("Never"), QStringLiteral(" never@x.com"))});
        open();
        click("cmdTest");
        QCOMPARE(m->mail.sent.size(), 1);
        QCOMPARE(m->mail.sent.first().recipients, QStringList{QStringLiteral("never@x.com")});
        QCOMPARE(m->mail.sent.first().subject, QStringLiteral("WXYZ Test Message"));
    }
};

QTEST_MAIN(TestAddressBookWindow)
#include "tst_addressbookwindow.moc"
