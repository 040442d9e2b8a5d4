#include "Account.h"
#include "AlarmPlan.h"
#include "DataFiles.h"
#include "ErrorWindow.h"
#include "LevelMeter.h"
#include "MainWindow.h"
#include "NamedInputs.h"
#include "NamedInputWatch.h"
#include "SerialProfile.h"
#include "SilenceMonitor.h"
#include "StationRig.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>

using namespace dovrane;
using namespace dovrane::test;

namespace {

/// DVParams.dat from its 28 records, some of them changed (record number, value).
QByteArray params(QList<qint32> records, std::initializer_list<std::pair<int, qint32>> changes = {})
{
    for (const auto& [record, value] : changes)
        records[record - 1] = value;
    return DataFolder::paramsBytes(records);
}

// Delay 30 s, Alarm Only, relay Off, device 1, Send Email, threshold 12345; Monday
// 08:30:00-17:00:00 and Saturday 20:15:00-23:59:59.
const QList<qint32> kStored = {30, 1,     0, 1, 2, 0, 12345, 0, 1,     0, 0, 0, 0, 1,
                               0,  30600, 0, 0, 0, 0, 72900, 0, 61200, 0, 0, 0, 0, 86399};

/// The action ("page", "email") and each enabled day as "day:start-stop".
QString planText(const AlarmPlan& plan)
{
    QString text = QLatin1String(plan.sendPage() ? "page" : plan.sendEmail() ? "email" : "");
    for (int d = 1; d <= 7; ++d)
        if (plan.dayEnabled(d) != 0)
            text += QString::asprintf(" %d:%d-%d", d, plan.dayStartSecs(d), plan.dayStopSecs(d));
    return text;
}

QByteArray entry(char option, const QString& name, const QString& address,
                 const QByteArray& days = "0000000", qint32 start = 0, qint32 stop = 0)
{
    return DataFolder::addressRecord(option, name, address, days, start, stop);
}

/// Rows that open the window behind `menu` (none: the main window itself) after
/// writing `before` to `file` in the data folder, run the script, and compare the
/// file with `after` (by default: unchanged).
/// The named inputs the station runs: name, shown source, threshold and delay.
QString inputsText(const Station& s)
{
    QStringList out;
    for (const NamedInputWatch* w : s.inputs().watches())
        out << QStringLiteral("%1 %2 %3 %4 s")
                   .arg(w->name(), w->settings().shownSource())
                   .arg(w->settings().threshold)
                   .arg(w->settings().delaySecs);
    return out.join(u'|');
}

auto rows(const char* menu, const char* file)
{
    return [menu, file](const char* tag, const QByteArray& before, const char* script,
                        const QByteArray& after = {}) {
        QTest::addRow("%s: %s", *menu ? menu + 3 : "Main", tag)
            << QString::fromLatin1(menu) << QString::fromLatin1(file) << before
            << QString::fromUtf8(script) << (after.isNull() ? before : after);
    };
}

} // namespace

/// Every window as the operator meets it, opened from the main window's menu on a
/// station over fakes. A script is steps separated by ';': "name" clicks a button or
/// triggers a menu item; "name=value" fills a field, ticks a box (1/0) or selects a
/// list row (empty: none); "name==value" expects a control's text, check state or
/// selected row, "name:property==value" a property, "name:lines==" a list's lines.
/// Steps on "@..." act on or read the station; "@said" holds the messages reported
/// since it was last read, up to their first '.', and must be read for every one.
/// No window, as it opens, draws one control over another.
class TestWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StationRig> m_rig;
    std::unique_ptr<MainWindow> m_window;
    QPointer<QWidget> m_current;
    QString m_file;

    /// Controls of one window drawn over each other: "name/name" pairs of visible siblings.
    static QStringList overlaps(const QWidget* window)
    {
        QStringList out;
        for (const QWidget* w : window->findChildren<QWidget*>()) {
            const QWidget* parent = w->parentWidget();
            for (const QObject* o : parent ? parent->children() : QObjectList{}) {
                const auto* other = qobject_cast<const QWidget*>(o);
                if (other && std::less<const QWidget*>{}(other, w) && w->isVisible() &&
                    other->isVisible() && !w->isWindow() && !other->isWindow() &&
                    w->geometry().intersects(other->geometry()))
                    out << w->objectName() + u'/' + other->objectName();
            }
        }
        return out;
    }
    /// Opens the window behind a menu item, hides it and asks again: the same window
    /// comes back, and no second one.
    void openSingle(const QString& menu)
    {
        auto* item = m_window->findChild<QAction*>(menu);
        QVERIFY(item && item->isEnabled());
        const QRegularExpression frame(QStringLiteral("^frm(?!Error)"));
        item->trigger();
        QList<QWidget*> opened = m_window->findChildren<QWidget*>(frame);
        QCOMPARE(opened.size(), 1);
        m_current = opened.first();
        m_current->hide();
        item->trigger();
        QCOMPARE(m_window->findChildren<QWidget*>(frame), opened);
        QVERIFY(m_current->isVisible() && !m_current->isModal());
    }
    QString state(const QString& what) const
    {
        const Station& s = m_window->station();
        const Account& a = s.account();
        QStringList meters, said = m_rig->reported();
        for (const LevelMeter* m : m_window->findChildren<LevelMeter*>())
            meters << (m->levelDb() > LevelMeter::kFloorDb ? "up" : "floor");
        for (QString& message : said)
            message = message.section('.', 0, 0);
        const auto open = [](const RecordFile* f) { return f && f->isOpen() ? "open" : "closed"; };
        const ErrorWindow* error = m_window->errorWindow().window();
        const int mode = int(QFile::permissions(m_file));
        const QList<MailMessage>& sent = m_rig->mail.sent;
        const QHash<QString, QString> states = {
            {"@plan", planText(s.plan())},
            {"@account", QStringList{a.facility(), a.userName(), a.password()}.join('/')},
            {"@port",
             QString("%1 %2").arg(s.serialProfile().comPort()).arg(s.serialProfile().baudRate())},
            {"@mode", QString("%1%2%3").arg((mode >> 12) & 7).arg((mode >> 4) & 7).arg(mode & 7)},
            {"@log", m_rig->log().value(m_rig->log().size() - 1).trimmed()},
            {"@mail", sent.isEmpty() ? "" : sent.last().recipients.join(',')},
            {"@running", s.monitor().isRunning() ? "true" : "false"},
            {"@meters", meters.join(' ')},
            {"@said", said.join('|')},
            {"@files",
             QString("%1 %2").arg(open(s.files().callList()), open(s.files().addressBook()))},
            {"@error", error ? (error->isVisible() ? error->message() : "hidden") : "none"},
            {"@title", m_window->windowTitle()},
            {"@focus",
             QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : ""},
            {"@traps", m_file.endsWith(".ini") ? iniLine("traps=") : ""},
            {"@inputs", inputsText(s)},
            {"@colour", colourOf(m_window->findChild<QLabel*>("lblState"))}};
        return states.value(what, "<unknown " + what + ">");
    }
    /// The state line's background as a person names it.
    static QString colourOf(QLabel* label)
    {
        const QColor c = label->grab().toImage().pixelColor(label->width() / 2, 2);
        return c.hsvSaturation() < 60                ? "grey"
               : c.hsvHue() < 20 || c.hsvHue() > 340 ? "red"
               : c.hsvHue() < 70                     ? "amber"
                                                     : "green";
    }
    QString iniLine(const QString& start) const
    {
        QFile file(m_file);
        (void)file.open(QIODevice::ReadOnly);
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
            if (line.startsWith(start))
                return line.trimmed();
        return "<no " + start + ">";
    }
    QString read(const QString& name) const
    {
        if (name.startsWith('@'))
            return state(name);
        const QString property = name.section(':', 1);
        QObject* o = m_current->findChild<QObject*>(name.section(':', 0, 0));
        auto* list = qobject_cast<QListWidget*>(o);
        auto* box = qobject_cast<QAbstractButton*>(o);
        QStringList lines;
        for (int i = 0; list && i < list->count(); ++i)
            lines << list->item(i)->text().simplified();
        if (!o)
            return "<none>";
        if (!property.isEmpty())
            return property == "lines" ? lines.join('|')
                                       : o->property(qPrintable(property)).toString();
        if (list)
            return list->selectedItems().isEmpty() ? "" : QString::number(list->currentRow());
        if (box && box->isCheckable())
            return box->isChecked() ? "1" : "0";
        return o->property("text").toString().trimmed();
    }
    void act(const QString& name, const QString& value)
    {
        if (name == "@report")
            return m_window->station().errors().report(value);
        if (name == "@port")
            return m_window->station().serialProfile().setComPort(value.toShort());
        if (name == "@tab") {
            QApplication::setActiveWindow(m_current);
            return QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        if (name == "@page") {
            auto* tabs = m_current->findChild<QTabWidget*>("tabSettings");
            return tabs->setCurrentWidget(tabs->findChild<QWidget*>(value));
        }
        if (name == "@lost")
            return Q_EMIT m_rig->audio.captureLost(value);
        QVERIFY2(name == "@silence" || name == "@sound", qPrintable(name));
        m_rig->run(value.toDouble(), name == "@sound" ? FakeAudioInput::toneBuffer(8000)
                                                      : FakeAudioInput::silenceBuffer());
    }
    /// Clicks (press) or sets a control the operator can reach.
    void use(const QString& name, const QString& value, bool press)
    {
        QObject* o = m_current->findChild<QObject*>(name);
        auto* action = qobject_cast<QAction*>(o);
        auto* w = qobject_cast<QWidget*>(o);
        QVERIFY2(action ? action->isEnabled() : w && w->isVisible() && w->isEnabled(),
                 qPrintable(name));
        if (action)
            action->trigger();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            press || button->isChecked() != (value == "1") ? button->click() : void();
        else if (auto* field = qobject_cast<QLineEdit*>(w)) {
            field->setText(value);
            field->setModified(true); // as typing does
        } else if (auto* list = qobject_cast<QListWidget*>(w))
            value.isEmpty() ? list->clearSelection() : list->setCurrentRow(value.toInt());
    }
    void run(const QString& script)
    {
        for (const QString& step : script.split(';', Qt::SkipEmptyParts)) {
            const qsizetype eq = step.indexOf('=');
            const QString name = step.left(eq);
            if (eq >= 0 && step.mid(eq, 2) == "==")
                QCOMPARE(name + "==" + read(name), step);
            else if (name.startsWith('@'))
                act(name, step.mid(eq + 1));
            else
                use(name, step.mid(eq + 1), eq < 0);
            if (QTest::currentTestFailed())
                return;
            if (name == "@said")
                m_rig->errors->clear();
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale::c());
    }
    void init()
    {
        m_rig = std::make_unique<StationRig>(QDateTime(QDate(2006, 6, 19), QTime(12, 0)),
                                             QStringList{"Card A", "Card B"});
        m_rig->connection();
        m_rig->user("WXYZ");
        // Two more days for the log viewer: one older, one whose name is no date.
        QVERIFY(QDir().mkpath(m_rig->paths.logsDir()));
        DataFolder::write(m_rig->paths.logsDir() + "/AL060711.log", "07:00:00 Timed Start\r\n");
        DataFolder::write(m_rig->paths.logsDir() + "/ALxyz.log", "x\r\n");
    }
    void cleanup() { m_window.reset(); } // before the rig it runs on

    void windows_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArray>("after");

        const auto prefs = rows("mnuPreferences", "DVParams.dat");
        const QByteArray stored = params(kStored);
        prefs("stored values shown, edits saved at close", stored,
              "lstWaveIn==1;lstTime==29;txtThreshold==1234;Option1_2==1;Option1_1==0;Check1_1==0;"
              "Check1_2==1;txtStart_2==08:30:00;txtStop_7==23:59:59;lstTime=9;lstWaveIn=0;"
              "Option1_1=1;Check1_1=1;txtStart_1=6:00;Check1_7=0;"
              "@plan==email 2:30600-61200 7:72900-86399;cmdClose;"
              "@plan==page 1:21600-0 2:30600-61200",
              params(kStored, {{1, 10}, {4, 0}, {5, 1}, {8, 1}, {14, 0}, {15, 21600}}));
        prefs("bad threshold stops the save there", stored,
              "lstTime=9;Option1_1=1;txtThreshold=abcd;Check1_1=1;cmdClose;"
              "@said==13 Type mismatch: \"abcd\" is not a whole number from 0 to 32767 "
              "(Threshold);@plan==page 2:30600-61200 7:72900-86399",
              params(kStored, {{1, 10}, {5, 1}}));
        prefs("bad time stops the save at that field, empty threshold is 0", stored,
              "txtThreshold=;Check1_1=1;txtStart_2=9:00;txtStop_2=half past five;txtStart_3=10:00;"
              "cmdClose;txtThreshold==0;@said==13 Type mismatch: \"half past five\" is not a "
              "time of day (Mon Stop);"
              "@plan==email 1:0-0 2:32400-61200 7:72900-86399",
              params(kStored, {{7, 0}, {8, 1}, {16, 32400}}));
        prefs("times outside the day shown as stored and kept; paging",
              params(kStored, {{5, 1}, {16, -1}, {23, 90000}}),
              "Option1_1==1;Option1_2==0;txtStart_2==-1;txtStop_2==90000;cmdClose");
        prefs("no file: defaults, zeros saved", {},
              "lstWaveIn==0;lstTime==;txtThreshold==0;Option1_2==0;txtStart_1==00:00:00;cmdClose;"
              "cmdGoBack;@files==open open;cmdClose;cmdSaveAnyway;@plan==",
              QByteArray(112, '\0'));
        prefs("unshowable delay stops loading; no device: nothing saved",
              params(kStored, {{1, 150}}),
              "@said==380 Invalid property value;lstTime==;lstWaveIn==;txtThreshold==;Check1_2==0;"
              "Option1_1=1;Check1_3=1;cmdClose;@said==WaveIn Device not selected;"
              "@plan==email 2:30600-61200 7:72900-86399");

        rows("mnuMyAccount", "User.dat")(
            "apply writes for the owner only, closing reloads", "KDVR\r\nuser\r\npass\r\n",
            "txtFacility==KDVR;txtPassword==pass;txtFacility=Café FM;txtUserName=ops;"
            "txtPassword=;cmdApply;@account==Café FM/ops/;@mode==600;"
            "txtFacility=Unsaved;@port=7;mnuExit;@port==1 9600;@account==Café FM/ops/",
            "Caf\xe9 FM\r\nops\r\n\r\n");
        rows("mnuMyAccount", "User.dat")(
            "tab order from Facility round to Facility", "KDVR\r\nuser\r\npass\r\n",
            "@tab=;@focus==txtUserName;@tab=;@focus==txtPassword;@tab=;@focus==cmdApply;@tab=;"
            "@focus==cmdClose;@tab=;@focus==txtFacility");

        const auto calls = rows("mnuCallList", "CallList.dat");
        const auto call = &DataFolder::callRecord;
        const QByteArray bob = call('1', "Bob", "3"), carl = call('0', "Carl", "9");
        const QByteArray alice = call('1', "alice", "2");
        calls("apply changes the selected entry, new takes the first free slot", bob + carl + alice,
              "list1:lines==alice 2|Bob 3;txtName:visible==false;mnuDelete;list1=0;txtName==alice;"
              "txtNumber=5559999;cmdApply;list1:lines==alice 5559999|Bob 3;mnuNew;Label3==2;"
              "txtNumber==;txtName=ABCDEFGHIJKLMNOPQRST;cmdApply;mnuNew;txtName=Zed;cmdClose",
              bob + call('1', "ABCDEFGHIJKLMNO", "") + call('1', "alice", "5559999"));
        calls("delete, then new reuses that slot", bob + carl + alice,
              "list1=1;mnuDelete;list1:lines==alice 2;mnuNew;Label3==1;txtName=Dora;"
              "txtNumber=5551004;cmdApply;list1:lines==alice 2|Dora 5551004",
              call('1', "Dora", "5551004") + carl + alice);

        const auto book = rows("mnuMyAddressBook", "AddressBook.dat");
        const QByteArray gone = '0' + entry('1', "Gone", "gone@x.com").mid(1);
        const QByteArray south = entry('1', "South", "south@x.com");
        const QByteArray east = entry('2', "east", "east@x.com"), three = south + gone + east;
        book("sorted, the first line shown; new fills the deleted slot", three,
             "list1:lines==east east@x.com Sometimes|South south@x.com Always;list1==0;"
             "Label3==3;txtName==east;txtNumber==east@x.com;opt1_2==1;cmdNew;Label3==2;"
             "txtName==;txtName=North;txtNumber=north@x.com;cmdApply",
             south + entry('2', "North", "north@x.com") + east);
        book("only Sometimes enables the weekday rows, Always keeps them",
             entry('2', "Ops", "ops@x.com", "0100000", 28800, 61200),
             "Check1_2:enabled==true;opt1_0=1;Check1_2:enabled==false;txtStop_7:enabled==false;"
             "opt1_2=1;txtStop_7:enabled==true;opt1_1=1;txtStart_2:enabled==false;cmdApply",
             entry('1', "Ops", "ops@x.com", "0100000", 28800, 61200));
        // A stored 39-character address must reach its field whole.
        book(
            "applied unchanged is saved whole",
            entry('2', "Night", "night.shift.engineer@transmitter.ex.com", "0100001", 48600, 86399),
            "cmdApply");
        book("bad time refused and nothing saved, then delete", three,
             "txtName=Changed;txtStop_4=25:99;cmdApply;txtName==Changed;"
             "@said==\"25:99\" is not a time of day (Wed Stop);cmdDelete;"
             "list1:lines==South south@x.com Always;Label3==1",
             south + gone + '0' + east.mid(1));
        book("send test mails the selected entry and says so", entry('0', "Never", "never@x.com"),
             "cmdTest;@mail==never@x.com;@log==12:00:00 Email--> never@x.com;"
             "lblStatus==Test message to never@x.com handed to the mail system.");
        book("a line focused but not selected: Delete and Send Test do nothing", three,
             "list1=;cmdTest;cmdDelete;@mail==");
        book("empty book: a first entry is Always", "",
             "txtName:visible==false;cmdTest;cmdDelete;@mail==;cmdNew;opt1_1==1;txtName=Chief;"
             "txtNumber=chief@x.com;cmdApply",
             entry('1', "Chief", "chief@x.com"));

        const auto link = rows("mnuMyConnection", "Connection.dat");
        const QByteArray port3 = " 3 \r\n19200\r\n";
        link("loaded, selection at once, apply saves", port3,
             "lstComPort==2;lstBaudRate==2;lstComPort=0;@port==1 19200;lstBaudRate=0;"
             "@port==1 2400;cmdApply",
             " 1 \r\n2400\r\n");
        link("selection without apply, or apply without one, saves nothing", port3,
             "lstBaudRate=1;lstComPort=4;@port==5 9600;lstComPort=;cmdApply;@port==5 9600;"
             "@said==Please select a serial port;lstComPort=0;lstBaudRate=;cmdApply;"
             "@said==Please select a baud rate;@port==1 9600;cmdClose");
        link("the first port and rate are shown too", " 1 \r\n2400\r\n",
             "lstComPort==0;lstBaudRate==0");

        rows("mnuAlarmLogs", "logs/AL060712.log")(
            "days newest first, a day's lines",
            "08:00:00 Manual Start Sensor\r\n\r\n14:03:27 Alarm End\r\n",
            "lstDate:lines==z./lo/xy|07/12/06|07/11/06;lstDate==0;cmdOk;"
            "lstActivityLog:lines==Log for z./lo/xy does not exist.;cmdOk;lstDate=1;cmdOk;"
            "lstActivityLog:lines==08:00:00 Manual Start Sensor||14:03:27 Alarm End;cmdOk;"
            "Option2=1;cmdOk;lstActivityLog:lines==|Alarm End 14:03:27|Manual Start Sensor "
            "08:00:00");
        rows("mnuAbout", "")("version", {}, "lblVersion==Version 2.0.6;cmdOk");

        // Alarm delay 2 s, threshold 500.
        const auto main = rows("", "DVParams.dat");
        const QByteArray quiet = params(QList<qint32>(28, 0), {{1, 2}, {7, 500}});
        main("start, silence, light, sound, stop", quiet,
             "Shape1:visible==false;cmdStart;@running==true;@log==12:00:00 Manual Start Sensor;"
             "@silence=1;Label1==00:01;Shape1:visible==false;@silence=2;Shape1:visible==true;"
             "@sound=0.2;Shape1:visible==false;@meters==up up;cmdStop;@running==false;"
             "@meters==floor floor;@log==12:00:03 Manual Stop Sensor");
        main("Close asks while monitoring, logs the stop, ends without Alarm End", quiet,
             "cmdStart;@silence=3;@log==12:00:01 Alarm;cmdClose;cmdCloseNo;@running==true;"
             "cmdClose;cmdCloseYes;@files==closed closed;@sound=2;"
             "@log==12:00:03 Manual Stop Sensor");
        main(
            "Exit asks the same way", quiet,
            "cmdStart;mnuExit;cmdCloseYes;@files==closed closed;@log==12:00:00 Manual Stop Sensor");
        main("not monitoring: Close does not ask", quiet, "cmdClose;@files==closed closed;@log==");
        // The state line, one row per state, and the title during an alarm.
        main("state: idle, monitoring, alarm in the title, back", quiet,
             "lblState==IDLE;@colour==grey;@title==Dovrane;cmdStart;lblState==MONITORING;"
             "@colour==green;@silence=3;lblState==ALARM;@colour==red;@title==ALARM - WXYZ - "
             "Dovrane;@sound=1;lblState==MONITORING;@title==Dovrane");
        main("state: input lost empties the meters", quiet,
             "cmdStart;@sound=0.5;@meters==up up;@lost=Gone;lblState==INPUT LOST;"
             "@meters==floor floor;@said==Gone");
        main("state: suspended", quiet, "cmdStart;mnuSuspend30;lblState==SUSPENDED;@colour==amber");
        main("state: stopped inside the scheduled window", params(kStored),
             "lblState==NOT MONITORING (scheduled window);cmdStart;lblState==MONITORING;cmdStop;"
             "lblState==NOT MONITORING (scheduled window)");

        rows("mnuSettings", "Dovrane.ini")(
            "one problem on the first tab stays there; no trap sinks write empty", {},
            "chkStatusEnabled=1;txtStatusListen=nowhere;cmdOK;tabSettings:currentIndex==0;"
            "chkStatusEnabled=0;cmdOK;@traps==traps=");
        rows("mnuSettings", "Dovrane.ini")(
            "Send test with nothing set up says so", {},
            "@page=pageNotify;cmdSendTest;lblTestResult==Nothing to test: no SMTP server, "
            "webhook, program or GSM modem is saved yet. Enter one and press OK first.");
        rows("mnuSettings", "Dovrane.ini")(
            "Inputs: one added and saved; a bad threshold is refused first", {},
            "@page=pageInputs;cmdAddInput;txtInputName=Web-1;"
            "txtInputSource=https://radio.example/live;txtInputThreshold=loud;cmdOK;"
            "tabSettings:currentIndex==2;txtInputThreshold=-45dBFS;cmdOK;"
            "@inputs==Web-1 https://radio.example 184 10 s");
        main("error window: last message wins, OK unloads it", {},
             "@report=first;@report=second;@error==second;OKButton;@error==none;@report=third;"
             "@error==third;@said==first|second|third");
    }
    void windows()
    {
        QFETCH(QString, menu);
        QFETCH(QString, file);
        QFETCH(QByteArray, before);
        QFETCH(QString, script);
        QFETCH(QByteArray, after);
        m_file = m_rig->paths.file(file);
        if (!before.isNull())
            DataFolder::write(m_file, before);
        m_window = std::make_unique<MainWindow>(m_rig->services());
        m_rig->errors =
            std::make_unique<QSignalSpy>(&m_window->station().errors(), &ErrorReporter::reported);
        m_window->show();
        m_current = m_window.get();
        if (!menu.isEmpty())
            openSingle(menu);
        QCoreApplication::processEvents(); // laid out
        QVERIFY2(overlaps(m_current).isEmpty(), qPrintable(overlaps(m_current).join(u' ')));
        if (!QTest::currentTestFailed())
            run(script + ";@said=="); // every message reported was expected
        if (after.isNull() || QTest::currentTestFailed())
            return;
        QFile written(m_file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), after);
    }
    // The keyboard alone: F10 opens the menu bar, Enter presses the focused button,
    // Escape closes an editor window as its Close button does.
    void keyboard()
    {
        m_window = std::make_unique<MainWindow>(m_rig->services());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_F10);
        QVERIFY(m_window->menuBar()->activeAction());
        QTest::keyClick(m_window->menuBar()->activeAction()->menu(), Qt::Key_Escape);

        auto* start = m_window->findChild<QPushButton*>("cmdStart");
        start->setFocus();
        QTest::keyClick(start, Qt::Key_Return);
        QVERIFY(m_window->station().monitor().isRunning());

        m_window->findChild<QAction*>("mnuPreferences")->trigger();
        QPointer<QWidget> prefs = m_window->findChild<QWidget*>("frmDVPreferences");
        QApplication::setActiveWindow(prefs);
        QTest::keyClick(prefs, Qt::Key_Escape);
        auto* saveZero = prefs->findChild<QPushButton*>("cmdSaveAnyway"); // no delay chosen
        QVERIFY(saveZero);
        saveZero->click();
        QTRY_VERIFY(!prefs || !prefs->isVisible());
        QCOMPARE(QFileInfo(m_rig->paths.paramsFile()).size(), 112); // saved on the way out
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
