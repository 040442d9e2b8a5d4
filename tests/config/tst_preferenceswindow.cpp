#include "AppState.h"
#include "ErrorReporter.h"
#include "FakeAudioInput.h"
#include "PreferencesWindow.h"

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
#include <QtEndian>
#include <QTest>

using namespace dovrane;

namespace {

// DVParams.dat as the format table lays it out: 28 little-endian records, 7 a line.
const QByteArray kStoredExample = QByteArray::fromHex(
    // 1 delay 30, 2 Alarm Only, 3 relay "Off", 4 device 1, 5 "Send Email", 6 reserved,
    // 7 threshold 1500
    "1e000000 01000000 00000000 01000000 02000000 00000000 dc050000"
    // 8..14 Sun..Sat enabled: Mon and Sat
    "00000000 01000000 00000000 00000000 00000000 00000000 01000000"
    // 15..21 starts: Mon 30600 (08:30:00), Sat 72900 (20:15:00)
    "00000000 88770000 00000000 00000000 00000000 00000000 c41c0100"
    // 22..28 stops: Mon 61200 (17:00:00), Sat 86399 (23:59:59)
    "00000000 10ef0000 00000000 00000000 00000000 00000000 7f510100");

QByteArray withRecord(QByteArray bytes, int record, qint32 value)
{
    bytes.resize(qMax<qsizetype>(bytes.size(), record * 4), '\0');
    qToLittleEndian(value, bytes.data() + (record - 1) * 4);
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
    QLineEdit* threshold() const { return control<QLineEdit>(QStringLiteral("txtThreshold")); }
    QCheckBox* check2() const { return control<QCheckBox>(QStringLiteral("Check2")); }
    QLineEdit* start(int d) const
    {
        return control<QLineEdit>(QStringLiteral("txtStart_%1").arg(d));
    }
    QLineEdit* stop(int d) const { return control<QLineEdit>(QStringLiteral("txtStop_%1").arg(d)); }
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
    // The controls that loading fills from `record` on keep their first, empty state.
    void verifyUnloadedFrom(int record)
    {
        const int firstDay = record <= 8 ? 1 : record - 7;
        QCOMPARE(selected(list("lstTime")) == -1, record <= 1);
        QCOMPARE(check2()->isChecked(), record > 2);
        QCOMPARE(selected(list("lstAlarmRelay")) == -1, record <= 3);
        QCOMPARE(selected(list("lstWaveIn")) == -1, record <= 4);
        QCOMPARE(option(2)->isChecked(), record > 5);
        QVERIFY(!option(1)->isChecked());
        QCOMPARE(threshold()->text().isEmpty(), record <= 7);
        for (int d = firstDay; d <= 7; ++d) {
            QVERIFY(!day(d)->isChecked());
            QCOMPARE(start(d)->text() + stop(d)->text(), QString());
        }
    }

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = AppState{};
        m_reported = std::make_unique<QSignalSpy>(&m_errors, &ErrorReporter::reported);
    }
    void cleanup() { m_window.reset(); }

    void showsEveryControl()
    {
        open();
        m_window->show();
        QCOMPARE(m_window->objectName(), QStringLiteral("frmDVPreferences"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Preferences"));
        QCOMPARE(list("lstWaveIn")->toolTip(), QStringLiteral("Select Input Card"));
        QCOMPARE(list("lstWaveIn")->item(1)->text(), QStringLiteral("Card B"));
        QCOMPARE(list("lstWaveIn")->item(1)->data(Qt::UserRole).toInt(), 1);
        QCOMPARE(threshold()->maxLength(), 4);
        QListWidget* time = list("lstTime");
        QCOMPARE(time->toolTip(), QStringLiteral("Number of Seconds of Dead Air before Alarm"));
        QCOMPARE(time->count(), 99);
        QCOMPARE(time->item(0)->text(), QStringLiteral("1 seconds"));
        QCOMPARE(time->item(98)->text(), QStringLiteral("99 seconds"));
        QCOMPARE(time->item(41)->data(Qt::UserRole).toInt(), 42);
        const std::pair<QString, const char*> texts[] = {
            {QStringLiteral("Option1_1"), "Send Page"}, {QStringLiteral("Option1_2"), "Send Email"},
            {QStringLiteral("Check1_1"), "Sun"},        {QStringLiteral("Check1_4"), "Wed"},
            {QStringLiteral("Check1_7"), "Sat"},        {QStringLiteral("Check2"), "Alarm Only"},
            {QStringLiteral("cmdClose"), "Close"},      {QStringLiteral("mnuExit"), "Exit"}};
        for (const auto& [name, text] : texts)
            QCOMPARE(control<QObject>(name)->property("text").toString(), QLatin1String(text));
        QStringList captions;
        for (QLabel* l : m_window->findChildren<QLabel*>())
            captions << l->text();
        for (const char* c : {"Net In", "Threshold", "Delay", "Start", "Stop", "Alarm Relay"})
            QVERIFY2(captions.contains(QLatin1String(c)), c);

        // Held and written back, but never shown.
        QVERIFY(!check2()->isVisible());
        QListWidget* relay = list("lstAlarmRelay");
        QVERIFY(!relay->isVisible() && !relay->isEnabled());
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
        m_state.SendPage = true; // neither option chosen leaves the action alone
        open();
        QVERIFY(m_reported->isEmpty());
        QCOMPARE(selected(list("lstTime")), -1);
        QCOMPARE(selected(list("lstWaveIn")), 0);
        QVERIFY(!option(1)->isChecked() && !option(2)->isChecked());
        QCOMPARE(threshold()->text(), QStringLiteral("0"));
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
        QVERIFY(m_state.SendPage && !m_state.SendEmail);
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
        QCOMPARE(params(), withRecord(QByteArray(112, '\0'), 1, 5));
    }

    void writesEveryRecordInOrder()
    {
        open();
        list("lstTime")->setCurrentRow(29);
        list("lstWaveIn")->setCurrentRow(1);
        option(2)->click();
        check2()->setChecked(true);
        threshold()->setText(QStringLiteral("1500"));
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
        QVERIFY(m_state.SendEmail && !m_state.SendPage);
        QCOMPARE(m_state.DayEnabled, (std::array<qint16, 8>{0, 0, 1, 0, 0, 0, 0, 1}));
        QCOMPARE(m_state.DayStartSecs, (std::array<qint32, 8>{0, 0, 30600, 0, 0, 0, 0, 72900}));
        QCOMPARE(m_state.DayStopSecs, (std::array<qint32, 8>{0, 0, 61200, 0, 0, 0, 0, 86399}));
    }

    void showsStoredValuesAndWritesThemBackUnchanged()
    {
        QLocale::setDefault(QLocale(QStringLiteral("en_US"))); // times in the long format
        writeParams(kStoredExample);
        open();
        QVERIFY(m_reported->isEmpty());
        QCOMPARE(selected(list("lstTime")), 29);
        QCOMPARE(selected(list("lstWaveIn")), 1);
        QCOMPARE(selected(list("lstAlarmRelay")), 0);
        QVERIFY(check2()->isChecked());
        QVERIFY(option(2)->isChecked());
        QCOMPARE(threshold()->text(), QStringLiteral("1500"));
        QVERIFY(day(2)->isChecked() && day(7)->isChecked() && !day(1)->isChecked());
        QCOMPARE(start(2)->text(), QStringLiteral("8:30:00 AM"));
        QCOMPARE(stop(7)->text(), QStringLiteral("11:59:59 PM"));
        QCOMPARE(start(1)->text(), QStringLiteral("12:00:00 AM"));

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
        threshold()->clear();
        m_window->close();

        QCOMPARE(messages(), QStringList{QStringLiteral("WaveIn Device not selected")});
        QCOMPARE(params(), kStoredExample);
        QVERIFY(m_state.SendPage && !m_state.SendEmail);
        QCOMPARE(m_state.DayEnabled[3], qint16(1));
        QVERIFY(!m_window->isVisible());
    }

    void thresholdFieldKeepsItsValue_data()
    {
        QTest::addColumn<qint32>("stored");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<qint32>("saved");
        QTest::newRow("empty saved as 0") << 1500 << true << 0;
        QTest::newRow("longer than 4 digits shown whole") << 123456 << false << 123456;
    }
    void thresholdFieldKeepsItsValue()
    {
        QFETCH(qint32, stored);
        QFETCH(bool, cleared);
        QFETCH(qint32, saved);
        writeParams(withRecord(kStoredExample, 7, stored));
        open();
        QCOMPARE(threshold()->text(), QString::number(stored));
        if (cleared)
            threshold()->clear();
        m_window->close();
        QCOMPARE(threshold()->text(), QString::number(saved));
        QCOMPARE(params(), withRecord(kStoredExample, 7, saved));
    }

    void doubleClickEmptiesTimeField()
    {
        writeParams(kStoredExample);
        open();
        m_window->show();
        QTest::mouseDClick(start(2), Qt::LeftButton);
        QTest::mouseDClick(stop(7), Qt::LeftButton);
        QCOMPARE(start(2)->text() + stop(7)->text(), QString());
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
        QCOMPARE(params(), kStoredExample); // record 5 = 2
        QVERIFY(m_state.SendEmail && !m_state.SendPage);
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
        threshold()->setText(QStringLiteral("abc"));
        day(1)->setChecked(true);
        start(1)->setText(QStringLiteral("06:00"));
        m_window->close();

        QCOMPARE(messages(), QStringList{QStringLiteral("13 Type mismatch")});
        // Records 1..5 written, 7..28 as they were.
        QCOMPARE(params(), withRecord(withRecord(withRecord(kStoredExample, 1, 10), 4, 0), 5, 1));
        QVERIFY(m_state.SendPage); // written before the failing step
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
        // Tuesday and Monday's stop keep their old values.
        QCOMPARE(params(), withRecord(withRecord(kStoredExample, 8, 1), 16, 32400));
        QCOMPARE(m_state.DayEnabled[1], qint16(1));
        QCOMPARE(m_state.DayStartSecs[2], 32400);
        QCOMPARE(m_state.DayStopSecs[2], 0);
        QCOMPARE(m_state.DayEnabled[3], qint16(0));
    }

    void unshowableStoredValueStopsLoading_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("380 Invalid property value");
        QTest::newRow("delay 150") << 1 << 150 << 2 << invalid;
        QTest::newRow("delay 100000") << 1 << 100000 << 2 << QStringLiteral("6 Overflow");
        QTest::newRow("Alarm Only 3") << 2 << 3 << 2 << invalid;
        QTest::newRow("relay 1") << 3 << 1 << 2 << invalid;
        QTest::newRow("device 2 of 2") << 4 << 2 << 2 << invalid;
        QTest::newRow("no sound device at all") << 4 << 1 << 0 << invalid;
        QTest::newRow("Wednesday checked 5") << 11 << 5 << 2 << invalid;
    }
    void unshowableStoredValueStopsLoading()
    {
        QFETCH(int, record);
        QFETCH(qint32, value);
        QFETCH(int, devices);
        const QByteArray stored = withRecord(kStoredExample, record, value);
        writeParams(stored);
        open(QStringList{QStringLiteral("Card A"), QStringLiteral("Card B")}.mid(0, devices));
        QCOMPARE(list("lstWaveIn")->count(), devices);
        QTEST(messages().join(QLatin1Char('|')), "message");
        verifyUnloadedFrom(record);
        if (record > 8)
            QCOMPARE(start(2)->text(), QStringLiteral("08:30:00")); // the days before it ran
        if (record > 4)
            return;
        m_window->close();
        QCOMPARE(messages().last(), QStringLiteral("WaveIn Device not selected"));
        QCOMPARE(params(), stored);
    }

    void unopenableFileIsReported()
    {
        QVERIFY(QDir().mkpath(paramsPath())); // a folder where the file should be
        open();
        QCOMPARE(messages(), QStringList{QStringLiteral("75 Path/File access error")});
        verifyUnloadedFrom(1);
        m_window->close();
        QCOMPARE(messages().last(), QStringLiteral("WaveIn Device not selected"));
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
