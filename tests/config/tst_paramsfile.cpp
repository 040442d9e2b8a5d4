#include "AppState.h"
#include "ErrorReporter.h"
#include "ParamsFile.h"
#include "PreferencesForm.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

/// DVParams.dat record layout, the threshold text rule and saving without a window.
class TestParamsFile : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(QStringLiteral("DVParams.dat")); }
    QByteArray bytes() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // Shared opens, gaps and short files are RecordFile's; this is the record layout.
    void recordsAreLittleEndianAndGapsZeroFilled()
    {
        ParamsFile file(path());
        QVERIFY(file.open());
        QVERIFY(QFile::exists(path()));
        QCOMPARE(file.read(ParamsFile::InputDevice), 0);
        QVERIFY(file.write(ParamsFile::Threshold, -999));
        QVERIFY(file.write(2, 0x01020304));
        QCOMPARE(file.read(2), 0x01020304);
        QCOMPARE(file.read(28), 0);
        file.close();
        QCOMPARE(bytes(), QByteArray::fromHex("00000000 04030201 00000000 00000000 00000000 "
                                              "00000000 19fcffff"));
    }

    void thresholdText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<QString>("error");
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
