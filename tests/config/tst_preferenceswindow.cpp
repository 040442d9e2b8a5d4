#include "AppState.h"
#include "ErrorReporter.h"
#include "FakeAudioInput.h"
#include "PreferencesWindow.h"
#include "TimeOfDay.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

namespace {

// DVParams.dat as the format table describes it, one little-endian record a line.
const QByteArray kStoredExample = QByteArray::fromHex("1e000000" // 1 AlarmDelay 30
                                                      "01000000" // 2 AlarmOnly checked
                                                      "00000000" // 3 AlarmRelay "Off"
                                                      "01000000" // 4 InputDevice 1
                                                      "02000000" // 5 AlarmAction "Send Email"
                                                      "00000000" // 6 reserved
                                                      "dc050000" // 7 Threshold 1500
                                                      "00000000" // 8 Sun off
                                                      "01000000" // 9 Mon on
                                                      "00000000"
                                                      "00000000"
                                                      "00000000"
                                                      "00000000" // 13 Fri off
                                                      "01000000" // 14 Sat on
                                                      "00000000" // 15 Sun start 0
                                                      "88770000" // 16 Mon start 30600 (08:30:00)
                                                      "00000000"
                                                      "00000000"
                                                      "00000000"
                                                      "00000000"
                                                      "c41c0100" // 21 Sat start 72900 (20:15:00)
                                                      "00000000" // 22 Sun stop 0
                                                      "10ef0000" // 23 Mon stop 61200 (17:00:00)
                                                      "00000000"
                                                      "00000000"
                                                      "00000000"
                                                      "00000000"
                                                      "7f510100" // 28 Sat stop 86399 (23:59:59)
);

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xff);
    return b;
}

qint32 recordOf(const QByteArray& bytes, int record)
{
    const QByteArray r = bytes.mid((record - 1) * 4, 4);
    if (r.size() < 4)
        return 0;
    qint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = qint32((quint32(v) << 8) | quint8(r.at(i)));
    return v;
}

QByteArray withRecord(QByteArray bytes, int record, qint32 value)
{
    if (bytes.size() < record * 4)
        bytes.append(QByteArray(record * 4 - bytes.size(), '\0'));
    bytes.replace((record - 1) * 4, 4, le32(value));
    return bytes;
}

} // namespace

/// The Preferences window against a real parameters file in a scratch folder.
class TestPreferencesWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    AppState m_state;
    ErrorReporter m_errors;
    std::unique_ptr<QSignalSpy> m_reported;
    std::unique_ptr<PreferencesWindow> m_window;

    QString paramsPath() const { return m_dir->filePath(QStringLiteral("DVParams.dat")); }
    void writeParams(const QByteArray& bytes)
    {
        QFile f(paramsPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    QByteArray params() const
    {
        QFile f(paramsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void open(QStringList devices = {QStringLiteral("Card A"), QStringLiteral("Card B")})
    {
        m_window = std::make_unique<PreferencesWindow>(
            m_state, paramsPath(), std::make_unique<test::FakeAudioInput>(devices), m_errors);
    }
    template <typename T> T* control(const QString& name) const
    {
        T* c = m_window->findChild<T*>(name);
        if (!c)
            qFatal("no control %s", qPrintable(name));
        return c;
    }
    QListWidget* list(const char* name) const { return control<QListWidget>(QLatin1String(name)); }
    QLineEdit* edit(const QString& name) const { return control<QLineEdit>(name); }
    QLineEdit* start(int d) const { return edit(QStringLiteral("txtStart_%1").arg(d)); }
    QLineEdit* stop(int d) const { return edit(QStringLiteral("txtStop_%1").arg(d)); }
    QCheckBox* day(int d) const { return control<QCheckBox>(QStringLiteral("Check1_%1").arg(d)); }
    QRadioButton* option(int i) const
    {
        return control<QRadioButton>(QStringLiteral("Option1_%1").arg(i));
    }
    static int selected(const QListWidget* l)
    {
        const auto items = l->selectedItems();
        return items.isEmpty() ? -1 : l->row(items.first());
    }
    QStringList messages() const
    {
        QStringList out;
        for (const QList<QVariant>& args : *m_reported)
            out << args.at(0).toString();
        return out;
    }
    // Later controls stay as the window first made them.
    void verifyEmptyFrom(bool device)
    {
        if (device)
            QCOMPARE(selected(list("lstWaveIn")), -1);
        QVERIFY(!option(1)->isChecked());
        QVERIFY(!option(2)->isChecked());
        QCOMPARE(edit(QStringLiteral("txtThreshold"))->text(), QString());
        for (int d = 1; d <= 7; ++d) {
            QVERIFY(!day(d)->isChecked());
            QCOMPARE(start(d)->text(), QString());
            QCOMPARE(stop(d)->text(), QString());
        }
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = AppState{};
        m_reported = std::make_unique<QSignalSpy>(&m_errors, &ErrorReporter::reported);
    }
    void cleanup()
    {
        m_window.reset();
        QLocale::setDefault(QLocale::c());
    }

    void showsEveryControl()
    {
        open();
        QCOMPARE(m_window->objectName(), QStringLiteral("frmDVPreferences"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Preferences"));
        QCOMPARE(list("lstWaveIn")->toolTip(), QStringLiteral("Select Input Card"));
        QCOMPARE(list("lstWaveIn")->count(), 2);
        QCOMPARE(list("lstWaveIn")->item(1)->text(), QStringLiteral("Card B"));
        QCOMPARE(list("lstWaveIn")->item(1)->data(Qt::UserRole).toInt(), 1);
        QCOMPARE(edit(QStringLiteral("txtThreshold"))->maxLength(), 4);
        QListWidget* time = list("lstTime");
        QCOMPARE(time->toolTip(), QStringLiteral("Number of Seconds of Dead Air before Alarm"));
        QCOMPARE(time->count(), 99);
        QCOMPARE(time->item(0)->text(), QStringLiteral("1 seconds"));
        QCOMPARE(time->item(98)->text(), QStringLiteral("99 seconds"));
        QCOMPARE(time->item(41)->data(Qt::UserRole).toInt(), 42);
        QCOMPARE(option(1)->text(), QStringLiteral("Send Page"));
        QCOMPARE(option(2)->text(), QStringLiteral("Send Email"));
        const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        for (int d = 1; d <= 7; ++d)
            QCOMPARE(day(d)->text(), QString::fromLatin1(days[d - 1]));
        QStringList captions;
        for (QLabel* l : m_window->findChildren<QLabel*>())
            captions << l->text();
        for (const char* c : {"Net In", "Threshold", "Delay", "Start", "Stop", "Alarm Relay"})
            QVERIFY2(captions.contains(QLatin1String(c)), c);
        QCOMPARE(control<QPushButton>(QStringLiteral("cmdClose"))->text(), QStringLiteral("Close"));
        QCOMPARE(control<QAction>(QStringLiteral("mnuExit"))->text(), QStringLiteral("Exit"));

        m_window->show();
        auto* check2 = control<QCheckBox>(QStringLiteral("Check2"));
        QCOMPARE(check2->text(), QStringLiteral("Alarm Only"));
        QVERIFY(!check2->isVisible());
        QListWidget* relay = list("lstAlarmRelay");
        QVERIFY(!relay->isVisible());
        QVERIFY(!relay->isEnabled());
        QCOMPARE(relay->count(), 1);
        QCOMPARE(relay->item(0)->text(), QStringLiteral("Off"));
        QCOMPARE(relay->item(0)->data(Qt::UserRole).toInt(), 0);
        QCOMPARE(relay->toolTip(), QStringLiteral("Select Relay Output for Alarm...Remote Control "
                                                  "must be enabled in Setup>>My Computer"));
        QVERIFY(!control<QLabel>(QStringLiteral("lblAlarmRelay"))->isVisible());
        QVERIFY(m_window->findChild<AudioInput*>(QStringLiteral("WaveIn")));
    }

    void newFileShowsDefaultsAndSavesZeros()
    {
        open();
        QVERIFY(m_reported->isEmpty());
        QCOMPARE(selected(list("lstTime")), -1);
        QCOMPARE(selected(list("lstWaveIn")), 0);
        QVERIFY(!option(1)->isChecked());
        QVERIFY(!option(2)->isChecked());
        QCOMPARE(edit(QStringLiteral("txtThreshold"))->text(), QStringLiteral("0"));
        for (int d = 1; d <= 7; ++d) {
            QVERIFY(!day(d)->isChecked());
            QCOMPARE(start(d)->text(), QStringLiteral("00:00:00"));
            QCOMPARE(stop(d)->text(), QStringLiteral("00:00:00"));
        }
        QCOMPARE(params(), QByteArray()); // opening alone writes nothing

        control<QPushButton>(QStringLiteral("cmdClose"))->click();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(params(), QByteArray(112, '\0'));
        QVERIFY(m_reported->isEmpty());
    }

    void savesOnEveryWayOfClosing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("cmdClose") << 0;
        QTest::newRow("Files > Exit") << 1;
        QTest::newRow("close box") << 2;
    }
    void savesOnEveryWayOfClosing()
    {
        QFETCH(int, how);
        open();
        m_window->show();
        list("lstTime")->setCurrentRow(4);
        if (how == 0)
            QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdClose")), Qt::LeftButton);
        else if (how == 1)
            control<QAction>(QStringLiteral("mnuExit"))->trigger();
        else
            m_window->close();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(params().size(), 112);
        QCOMPARE(recordOf(params(), 1), 5);
    }

    void writesEveryRecordInOrder()
    {
        open();
        list("lstTime")->setCurrentRow(29);
        list("lstWaveIn")->setCurrentRow(1);
        option(2)->click();
        control<QCheckBox>(QStringLiteral("Check2"))->setChecked(true);
        edit(QStringLiteral("txtThreshold"))->setText(QStringLiteral("1500"));
        day(2)->setChecked(true);
        start(2)->setText(QStringLiteral("8:30"));
        stop(2)->setText(QStringLiteral("17:00:00"));
        day(7)->click();
        start(7)->setText(QStringLiteral("20:15"));
        stop(7)->setText(QStringLiteral("11:59:59 pm"));
        QCOMPARE(m_window->chosenDelay(), qint16(30));
        m_window->close();

        QCOMPARE(params(), kStoredExample);
        QVERIFY(m_reported->isEmpty());
        QVERIFY(m_state.SendEmail);
        QVERIFY(!m_state.SendPage);
        QCOMPARE(m_state.DayEnabled, (std::array<qint16, 8>{0, 0, 1, 0, 0, 0, 0, 1}));
        QCOMPARE(m_state.DayStartSecs, (std::array<qint32, 8>{0, 0, 30600, 0, 0, 0, 0, 72900}));
        QCOMPARE(m_state.DayStopSecs, (std::array<qint32, 8>{0, 0, 61200, 0, 0, 0, 0, 86399}));
    }

    void showsStoredValuesAndWritesThemBackUnchanged_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("monStart");
        QTest::addColumn<QString>("satStop");
        QTest::newRow("C") << "C"
                           << "08:30:00"
                           << "23:59:59";
        QTest::newRow("en_US") << "en_US"
                               << "8:30:00 AM"
                               << "11:59:59 PM";
    }
    void showsStoredValuesAndWritesThemBackUnchanged()
    {
        QFETCH(QString, locale);
        QFETCH(QString, monStart);
        QFETCH(QString, satStop);
        QLocale::setDefault(QLocale(locale));
        writeParams(kStoredExample);
        open();
        QVERIFY(m_reported->isEmpty());
        QCOMPARE(selected(list("lstTime")), 29);
        QCOMPARE(selected(list("lstWaveIn")), 1);
        QCOMPARE(selected(list("lstAlarmRelay")), 0);
        QVERIFY(control<QCheckBox>(QStringLiteral("Check2"))->isChecked());
        QVERIFY(option(2)->isChecked());
        QCOMPARE(edit(QStringLiteral("txtThreshold"))->text(), QStringLiteral("1500"));
        QVERIFY(day(2)->isChecked() && day(7)->isChecked() && !day(1)->isChecked());
        QCOMPARE(start(2)->text(), monStart);
        QCOMPARE(stop(7)->text(), satStop);
        QCOMPARE(start(1)->text(), TimeOfDay::longText(0));

        m_window->close();
        QCOMPARE(params(), kStoredExample);
    }

    void noDeviceSelectedSavesNothing()
    {
        writeParams(kStoredExample);
        m_state.SendPage = true;
        m_state.DayEnabled[3] = 1;
        open();
        list("lstWaveIn")->clearSelection();
        option(2)->click();
        day(3)->setChecked(false);
        edit(QStringLiteral("txtThreshold"))->clear();
        m_window->close();

        QCOMPARE(messages(), QStringList{QStringLiteral("WaveIn Device not selected")});
        QCOMPARE(params(), kStoredExample);
        QVERIFY(m_state.SendPage);
        QVERIFY(!m_state.SendEmail);
        QCOMPARE(m_state.DayEnabled[3], qint16(1));
        QVERIFY(!m_window->isVisible());
    }

    void emptyThresholdIsSavedAsZero()
    {
        writeParams(kStoredExample);
        open();
        QLineEdit* threshold = edit(QStringLiteral("txtThreshold"));
        threshold->clear();
        m_window->close();
        QCOMPARE(threshold->text(), QStringLiteral("0"));
        QCOMPARE(params(), withRecord(kStoredExample, 7, 0));
    }

    void longStoredThresholdIsShownWhole()
    {
        const QByteArray stored = withRecord(kStoredExample, 7, 123456);
        writeParams(stored);
        open();
        QCOMPARE(edit(QStringLiteral("txtThreshold"))->text(), QStringLiteral("123456"));
        m_window->close();
        QCOMPARE(params(), stored);
    }

    void doubleClickEmptiesTimeField()
    {
        writeParams(kStoredExample);
        open();
        m_window->show();
        QTest::mouseDClick(start(2), Qt::LeftButton);
        QCOMPARE(start(2)->text(), QString());
        QTest::mouseDClick(stop(7), Qt::LeftButton);
        QCOMPARE(stop(7)->text(), QString());
        QCOMPARE(start(7)->text(), QStringLiteral("20:15:00"));
        m_window->close();
        QCOMPARE(params(), withRecord(withRecord(kStoredExample, 16, 0), 28, 0));
        QCOMPARE(m_state.DayStartSecs[2], 0);

        open();
        QCOMPARE(start(2)->text(), QStringLiteral("00:00:00"));
    }

    void sendEmailReplacesSendPageAtOnce()
    {
        writeParams(withRecord(kStoredExample, 5, 1));
        m_state.SendPage = true;
        open();
        QVERIFY(option(1)->isChecked());
        option(2)->click();
        QVERIFY(!option(1)->isChecked());
        QVERIFY(m_state.SendPage); // nothing changes before the window closes
        m_window->close();
        QCOMPARE(recordOf(params(), 5), 2);
        QVERIFY(m_state.SendEmail);
        QVERIFY(!m_state.SendPage);
    }

    void neitherOptionLeavesAlarmActionAlone()
    {
        m_state.SendPage = true;
        open();
        m_window->close();
        QCOMPARE(recordOf(params(), 5), 0);
        QVERIFY(m_state.SendPage);
        QVERIFY(!m_state.SendEmail);
    }

    void typedTimesAreStoredAsSeconds_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint32>("seconds");
        QTest::newRow("20:15") << "20:15" << 72900;
        QTest::newRow("8:15 PM") << "8:15 PM" << 72900;
        QTest::newRow("12:00:01 AM") << "12:00:01 AM" << 1;
        QTest::newRow("with date") << "6/15/2006 07:00:00" << 25200;
    }
    void typedTimesAreStoredAsSeconds()
    {
        QFETCH(QString, typed);
        QFETCH(qint32, seconds);
        open();
        start(4)->setText(typed);
        m_window->close();
        QVERIFY(m_reported->isEmpty());
        QCOMPARE(recordOf(params(), 14 + 4), seconds);
        QCOMPARE(m_state.DayStartSecs[4], seconds);
    }

    void noSoundDeviceStopsLoadingAtTheDevice()
    {
        writeParams(kStoredExample);
        open({});
        QCOMPARE(list("lstWaveIn")->count(), 0);
        QCOMPARE(messages(), QStringList{QStringLiteral("380 Invalid property value")});
        QCOMPARE(selected(list("lstTime")), 29); // the steps before the device ran
        verifyEmptyFrom(false);
        m_window->close();
        QCOMPARE(messages().last(), QStringLiteral("WaveIn Device not selected"));
        QCOMPARE(params(), kStoredExample);
    }

    void noSoundDeviceWithNoneStoredLoadsTheRest()
    {
        const QByteArray stored = withRecord(kStoredExample, 4, -1);
        writeParams(stored);
        open({});
        QVERIFY(m_reported->isEmpty());
        QVERIFY(option(2)->isChecked());
        QCOMPARE(stop(7)->text(), QStringLiteral("23:59:59"));
        m_window->close();
        QCOMPARE(messages(), QStringList{QStringLiteral("WaveIn Device not selected")});
        QCOMPARE(params(), stored);
    }

    void thresholdThatIsNoNumberStopsSaving()
    {
        writeParams(kStoredExample);
        m_state.DayEnabled = {0, 0, 1, 0, 0, 0, 0, 1};
        open();
        list("lstTime")->setCurrentRow(9);
        option(1)->click();
        list("lstWaveIn")->setCurrentRow(0);
        edit(QStringLiteral("txtThreshold"))->setText(QStringLiteral("abc"));
        day(1)->setChecked(true);
        start(1)->setText(QStringLiteral("06:00"));
        m_window->close();

        QCOMPARE(messages(), QStringList{QStringLiteral("13 Type mismatch")});
        QByteArray expected = withRecord(kStoredExample, 1, 10);
        expected = withRecord(expected, 4, 0);
        expected = withRecord(expected, 5, 1);
        QCOMPARE(params(), expected); // 1..5 written, 7..28 as they were
        QVERIFY(m_state.SendPage);    // written before the failing step
        QCOMPARE(m_state.DayEnabled[1], qint16(0));
        QCOMPARE(m_state.DayStartSecs[1], 0);
        QVERIFY(!m_window->isVisible());
    }

    void unreadableTimeStopsSavingAtThatField()
    {
        writeParams(kStoredExample);
        open();
        day(1)->setChecked(true);
        start(2)->setText(QStringLiteral("9:00"));
        stop(2)->setText(QStringLiteral("half past five"));
        start(3)->setText(QStringLiteral("10:00"));
        m_window->close();

        QCOMPARE(messages(), QStringList{QStringLiteral("13 Type mismatch")});
        QByteArray expected = withRecord(kStoredExample, 8, 1);
        expected = withRecord(expected, 16, 32400);
        QCOMPARE(params(), expected); // Tuesday and Monday's stop keep their old values
        QCOMPARE(m_state.DayEnabled[1], qint16(1));
        QCOMPARE(m_state.DayStartSecs[2], 32400);
        QCOMPARE(m_state.DayStopSecs[2], 0);
        QCOMPARE(m_state.DayEnabled[3], qint16(0));
    }

    void storedDelayAbove99StopsLoading_data()
    {
        QTest::addColumn<qint32>("delay");
        QTest::addColumn<QString>("message");
        QTest::newRow("150") << 150 << "380 Invalid property value";
        QTest::newRow("-2") << -2 << "380 Invalid property value";
        QTest::newRow("100000") << 100000 << "6 Overflow";
    }
    void storedDelayAbove99StopsLoading()
    {
        QFETCH(qint32, delay);
        QFETCH(QString, message);
        const QByteArray stored = withRecord(kStoredExample, 1, delay);
        writeParams(stored);
        open();
        QCOMPARE(messages(), QStringList{message});
        QCOMPARE(selected(list("lstTime")), -1);
        QVERIFY(!control<QCheckBox>(QStringLiteral("Check2"))->isChecked());
        QCOMPARE(selected(list("lstAlarmRelay")), -1);
        verifyEmptyFrom(true);
        m_window->close();
        QCOMPARE(messages().last(), QStringLiteral("WaveIn Device not selected"));
        QCOMPARE(params(), stored);
    }

    void otherUnshowableValuesStopLoading_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<int>("lastFilledDay"); // days before the failing one are shown
        QTest::newRow("Alarm Only 3") << 2 << 3 << -1;
        QTest::newRow("relay 1") << 3 << 1 << -1;
        QTest::newRow("device 2 of 2") << 4 << 2 << -1;
        QTest::newRow("Wednesday checked 5") << 11 << 5 << 3;
    }
    void otherUnshowableValuesStopLoading()
    {
        QFETCH(int, record);
        QFETCH(qint32, value);
        QFETCH(int, lastFilledDay);
        writeParams(withRecord(kStoredExample, record, value));
        open();
        QCOMPARE(messages(), QStringList{QStringLiteral("380 Invalid property value")});
        if (lastFilledDay < 0) {
            verifyEmptyFrom(true);
        } else {
            QVERIFY(option(2)->isChecked());
            QCOMPARE(start(lastFilledDay - 1)->text(), QStringLiteral("08:30:00"));
            QCOMPARE(start(lastFilledDay + 1)->text(), QString());
            QVERIFY(!day(7)->isChecked());
        }
    }

    void unopenableFileIsReported()
    {
        QVERIFY(QDir().mkpath(paramsPath())); // a folder where the file should be
        open();
        QCOMPARE(messages(), QStringList{QStringLiteral("75 Path/File access error")});
        verifyEmptyFrom(true);
        m_window->close();
        QCOMPARE(messages().last(), QStringLiteral("WaveIn Device not selected"));
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
