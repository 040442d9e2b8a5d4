#include "TimeOfDay.h"

#include <QLocale>
#include <QTest>

using namespace dovrane;

/// Time-of-day text as the Preferences window shows and reads it, in 24-hour and
/// 12-hour locales.
class TestTimeOfDay : public QObject
{
    Q_OBJECT

private:
    QLocale m_saved;

private Q_SLOTS:
    void init() { m_saved = QLocale(); }
    void cleanup() { QLocale::setDefault(m_saved); }

    void splitsStoredSeconds_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QTime>("time");
        QTest::newRow("midnight") << 0 << QTime(0, 0, 0);
        QTest::newRow("45296") << 45296 << QTime(12, 34, 56);
        QTest::newRow("a day later wraps") << 86400 + 3661 << QTime(1, 1, 1);
        QTest::newRow("negative wraps back") << -1 << QTime(23, 59, 59);
    }
    void splitsStoredSeconds()
    {
        QFETCH(int, seconds);
        QTEST(TimeOfDay::toTime(seconds), "time");
    }

    void showsLongFormat_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("C midnight") << "C" << 0 << "00:00:00";
        QTest::newRow("en_US midnight") << "en_US" << 0 << "12:00:00 AM";
        QTest::newRow("en_US morning") << "en_US" << 30600 << "8:30:00 AM";
        QTest::newRow("en_US noon") << "en_US" << 43200 << "12:00:00 PM";
        QTest::newRow("en_US evening") << "en_US" << 72959 << "8:15:59 PM";
    }
    void showsLongFormat()
    {
        QFETCH(QString, locale);
        QFETCH(int, seconds);
        QLocale::setDefault(QLocale(locale));
        QTEST(TimeOfDay::longText(seconds), "text");
    }

    void neverShowsTimeZone()
    {
        for (const char* name : {"C", "en_US", "zh_CN", "fa_IR", "sq_AL", "fr_CA"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(name)));
            const QString text = TimeOfDay::longText(30600);
            QVERIFY2(!text.contains(QStringLiteral("UTC")) && !text.contains(QLatin1Char('(')),
                     qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name), text)));
            QVERIFY2(!text.endsWith(QLatin1Char(',')), name);
        }
    }

    void parsesTypedText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds"); // -1: rejected

        for (const char* name : {"C", "en_US"}) {
            const QString l = QString::fromLatin1(name);
            auto row = [&](const char* tag, const char* text, int seconds) {
                QTest::addRow("%s %s", name, tag) << l << QString::fromUtf8(text) << seconds;
            };
            row("24h hh:mm", "20:15", 72900);
            row("24h with blanks", "  07:05:09 ", 25509);
            row("bare hour", "7", 25200);
            row("midnight", "0:00", 0);
            row("last second", "23:59:59", 86399);
            row("12h PM", "8:15 PM", 72900);
            row("12h pm no blank", "8:15pm", 72900);
            row("12h AM seconds", "08:15:30 AM", 29730);
            row("12h hour only", "7 pm", 68400);
            row("12 AM is midnight", "12:00:00 AM", 0);
            row("12 PM is noon", "12:00 PM", 43200);
            row("date part ignored", "6/15/2006 20:15", 72900);
            row("ISO date part ignored", "2006-06-15T08:30:00", 30600);
            row("no-break space", "8:15\u202FPM", 72900);
            row("empty", "", -1);
            row("letters", "abc", -1);
            row("hour 24", "24:00", -1);
            row("minute 60", "10:60", -1);
            row("13 PM", "13:00 PM", -1);
            row("0 AM", "0:30 AM", -1);
            row("four digits", "2015", -1);
            row("trailing junk", "8:15 xyz", -1);
        }
    }
    void parsesTypedText()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(int, seconds);
        QLocale::setDefault(QLocale(locale));
        const std::optional<int> got = TimeOfDay::parse(text);
        if (seconds < 0) {
            QVERIFY2(!got, qPrintable(QString::number(got.value_or(0))));
        } else {
            QVERIFY(got.has_value());
            QCOMPARE(*got, seconds);
        }
    }

    // Every text a time field can show reads back to the seconds it came from.
    void wholeDayRoundTrip_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("step");
        QTest::newRow("C") << "C" << 1;
        QTest::newRow("en_US") << "en_US" << 1;
        for (const char* name :
             {"de_DE", "en_GB", "ko_KR", "zh_CN", "ar_EG", "fr_CA", "ja_JP", "fa_IR", "sq_AL",
              // Shown forms the locale's own reader does not take back: a marker with
              // a no-break space, a quoted literal, native and non-BMP digits.
              "es_US", "ee_GH", "as_IN", "ff_SN", "ccp_BD"})
            QTest::newRow(name) << QString::fromLatin1(name) << 61;
    }
    void wholeDayRoundTrip()
    {
        QFETCH(QString, locale);
        QFETCH(int, step);
        QLocale::setDefault(QLocale(locale));
        for (int s = 0; s < 86400; s += step) {
            const QString text = TimeOfDay::longText(s);
            const std::optional<int> back = TimeOfDay::parse(text);
            if (!back || *back != s)
                QFAIL(qPrintable(QStringLiteral("%1 shown as \"%2\" reads back as %3")
                                     .arg(s)
                                     .arg(text)
                                     .arg(back ? QString::number(*back) : QStringLiteral("none"))));
        }
    }
};

QTEST_GUILESS_MAIN(TestTimeOfDay)
#include "tst_timeofday.moc"
