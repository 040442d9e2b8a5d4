#include "AppState.h"
#include "ErrorReporter.h"
#include "ParamsFile.h"
#include "PreferencesForm.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

/// DVParams.dat record access, the start-up read and the threshold text rule.
class TestParamsFile : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(QStringLiteral("DVParams.dat")); }
    void writeBytes(const QByteArray& bytes)
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray bytes() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void missingFileIsCreatedEmptyAndReadsZero()
    {
        ParamsFile file(path());
        QVERIFY(file.open());
        QVERIFY(QFile::exists(path()));
        QCOMPARE(file.read(ParamsFile::InputDevice), 0);
        file.close();
        QCOMPARE(bytes(), QByteArray());
    }

    void recordsAreLittleEndianAndGapsZeroFilled()
    {
        ParamsFile file(path());
        QVERIFY(file.open());
        QVERIFY(file.write(ParamsFile::Threshold, -999));
        QVERIFY(file.write(2, 0x01020304));
        file.close();
        QCOMPARE(bytes(), QByteArray::fromHex("00000000"
                                              "04030201"
                                              "00000000"
                                              "00000000"
                                              "00000000"
                                              "00000000"
                                              "19fcffff"));
    }

    void partialRecordReadsZero()
    {
        writeBytes(QByteArray::fromHex("2a000000"
                                       "ffff"));
        ParamsFile file(path());
        QVERIFY(file.open());
        QCOMPARE(file.read(1), 42);
        QCOMPARE(file.read(2), 0);
        QCOMPARE(file.read(28), 0);
    }

    void twoOpensSeeEachOther()
    {
        ParamsFile window(path());
        ParamsFile reader(path());
        QVERIFY(window.open());
        QVERIFY(reader.open());
        QVERIFY(window.write(ParamsFile::AlarmDelay, 12));
        QCOMPARE(reader.read(ParamsFile::AlarmDelay), 12);
    }

    void startupReadsActionAndSchedule_data()
    {
        QTest::addColumn<qint32>("action");
        QTest::addColumn<bool>("page");
        QTest::addColumn<bool>("email");
        QTest::newRow("0") << 0 << false << false;
        QTest::newRow("1 page") << 1 << true << false;
        QTest::newRow("2 email") << 2 << false << true;
        QTest::newRow("3 neither") << 3 << false << false;
        QTest::newRow("-1 neither") << -1 << false << false;
    }
    void startupReadsActionAndSchedule()
    {
        QFETCH(qint32, action);
        QFETCH(bool, page);
        QFETCH(bool, email);
        QByteArray b(112, '\0');
        auto put = [&b](int record, qint32 v) {
            for (int i = 0; i < 4; ++i)
                b[(record - 1) * 4 + i] = char((quint32(v) >> (8 * i)) & 0xff);
        };
        put(5, action);
        put(7 + 3, 1);      // Tuesday on
        put(14 + 3, 45296); // 12:34:56
        put(21 + 3, 86399);
        writeBytes(b);
        AppState state;
        QVERIFY(readAlarmActionAndSchedule(path(), state));
        QCOMPARE(state.SendPage, page);
        QCOMPARE(state.SendEmail, email);
        QCOMPARE(state.DayEnabled, (std::array<qint16, 8>{0, 0, 0, 1, 0, 0, 0, 0}));
        QCOMPARE(state.DayStartSecs[3], 45296);
        QCOMPARE(state.DayStopSecs[3], 86399);
    }

    void thresholdText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("digits") << "1500" << 1500 << "";
        QTest::newRow("negative") << "-999" << -999 << "";
        QTest::newRow("blanks around") << " 12 " << 12 << "";
        QTest::newRow("fraction down") << "12.4" << 12 << "";
        QTest::newRow("half to even down") << "12.5" << 12 << "";
        QTest::newRow("half to even up") << "13.5" << 14 << "";
        QTest::newRow("letters") << "abc" << 0 << "13 Type mismatch";
        QTest::newRow("blank") << " " << 0 << "13 Type mismatch";
        QTest::newRow("digits and letters") << "12ab" << 0 << "13 Type mismatch";
        QTest::newRow("infinity") << "inf" << 0 << "13 Type mismatch";
        QTest::newRow("too large") << "9e99" << 0 << "6 Overflow";
        QTest::newRow("too small") << "-9e9" << 0 << "6 Overflow";
        QTest::newRow("just too large") << "2147483648" << 0 << "6 Overflow";
        QTest::newRow("largest") << "2147483647" << 2147483647 << "";
    }
    void thresholdText()
    {
        QFETCH(QString, text);
        QFETCH(qint32, value);
        QFETCH(QString, error);
        QString got;
        const std::optional<qint32> result = Preferences::thresholdValue(text, &got);
        QCOMPARE(got, error);
        QCOMPARE(result.has_value(), error.isEmpty());
        if (result)
            QCOMPARE(*result, value);
    }

    void savingWithoutAWindowClosesTheFile()
    {
        ParamsFile file(path());
        PreferencesForm form;
        AppState state;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        form.deviceRow = 0;
        QVERIFY(!Preferences::load(file, 1, form));
        QVERIFY(file.isOpen());
        form.action = 2;
        QCOMPARE(Preferences::save(file, form, state, errors), Preferences::SaveResult::Saved);
        QVERIFY(!file.isOpen());
        QVERIFY(reported.isEmpty());
        QCOMPARE(bytes().size(), 112);
        QVERIFY(state.SendEmail);
    }
};

QTEST_GUILESS_MAIN(TestParamsFile)
#include "tst_paramsfile.moc"
