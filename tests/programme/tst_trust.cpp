// Alarms engineers can trust, through the whole station on fakes: generated audio
// in, events out. Prints the detection table of the README.

#include "AlarmSuspension.h"
#include "StationRig.h"

#include <QtTest>

#include <cmath>
#include <numbers>
#include <random>

using namespace dovrane;
using namespace dovrane::test;

namespace {

constexpr double kRate = 44100, kTau = 2 * std::numbers::pi;

/// Generated sound, one sample at a time (both channels alike).
struct Generator
{
    QString kind;
    std::mt19937 rng{7};
    double pink[3]{}, f0 = 220, amp = 0, phase = 0;
    qint64 n = 0, next = 0;

    double uniform(double a, double b) { return std::uniform_real_distribution(a, b)(rng); }
    double white() { return std::normal_distribution(0.0, 1.0)(rng); }
    double note(double level)
    {
        phase += kTau * f0 / kRate;
        double s = 0;
        for (int h = 1; h <= 6; ++h)
            s += std::sin(h * phase) / h;
        return level * s + 40 * white();
    }
    double sample()
    {
        const double t = double(n++) / kRate;
        if (kind == u"programme") { // a quiet intro, then notes that never repeat
            if (n >= next) {
                next = n + qint64(uniform(0.15, 0.6) * kRate);
                f0 = uniform(110, 880), amp = uniform(1500, 9000);
            }
            return note(t < 4 ? 150 : amp);
        }
        if (kind == u"speech") { // syllables, hiss, pauses under the delay
            if (n >= next) {
                const bool pause = uniform(0, 1) < 0.3;
                next = n + qint64((pause ? uniform(0.3, 1.5) : uniform(0.1, 0.3)) * kRate);
                amp = pause ? 0 : uniform(2000, 8000), f0 = uniform(100, 250);
            }
            return uniform(0, 1) < 0.2 ? amp * 0.3 * white() : note(amp);
        }
        if (kind == u"pilot")
            return 3000 * std::sin(kTau * 19000 * t);
        if (kind == u"hum")
            return 3000 * std::sin(kTau * 50 * t) + 900 * std::sin(kTau * 100 * t) +
                   600 * std::sin(kTau * 150 * t) + 20 * white();
        if (kind == u"pink") { // white noise through a three-pole filter
            const double w = white();
            pink[0] = 0.99765 * pink[0] + w * 0.0990460;
            pink[1] = 0.96300 * pink[1] + w * 0.2965164;
            pink[2] = 0.57000 * pink[2] + w * 1.0526913;
            return 2500 * (pink[0] + pink[1] + pink[2] + w * 0.1848);
        }
        if (kind == u"loop") { // the same 2 s of tones and noise bursts again and again
            if (n % qint64(2 * kRate) == 0)
                rng.seed(11), next = 0;
            if (n % qint64(2 * kRate) >= next) {
                next = n % qint64(2 * kRate) + qint64(uniform(0.1, 0.4) * kRate);
                f0 = uniform(200, 900), amp = uniform(1000, 8000);
            }
            return f0 < 400 ? amp * 0.5 * white() : note(amp);
        }
        if (kind == u"tone")
            return 6000 * std::sin(kTau * 1000 * t);
        if (kind == u"flap") // 12 s of dead air, 3 s of sound
            return std::fmod(t, 15) < 12 ? 0 : 6000 * std::sin(kTau * 440 * t);
        return 0;
    }
    QByteArray buffer()
    {
        QByteArray out(4096, Qt::Uninitialized);
        auto* s = reinterpret_cast<qint16*>(out.data());
        for (int i = 0; i < 1024; ++i)
            s[2 * i] = s[2 * i + 1] = qint16(std::clamp(sample(), -32767.0, 32767.0));
        return out;
    }
};

} // namespace

class tst_Trust : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void detection_data()
    {
        QTest::addColumn<QString>("extra"); // more [alarms] lines
        QTest::addColumn<int>("suspendSecs");
        QTest::addColumn<QStringList>("expected");
        const QStringList none;
        QTest::newRow("programme") << "" << 0 << none;
        QTest::newRow("speech") << "" << 0 << none;
        QTest::newRow("pilot") << "" << 0 << QStringList{"silence_alarm"};
        QTest::newRow("hum") << "" << 0 << QStringList{"hum"};
        QTest::newRow("pink") << "" << 0 << QStringList{"noise"};
        QTest::newRow("loop") << "" << 0 << QStringList{"loop"};
        QTest::newRow("tone") << "" << 0 << QStringList{"loop"};
        QTest::newRow("pilot suspended") << "" << 25 << QStringList{"silence_alarm"};
        QTest::newRow("flap") << "cooldownMinutes=5\n"
                              << 0
                              << QStringList{"silence_alarm", "silence_end", "silence_alarm again",
                                             "silence_end"};
        QTest::newRow("flap release") << "releaseSecs=5\n" << 0 << QStringList{"silence_alarm"};
        // The third alarm, at 40 s, is over the limit: logged, not told.
        QTest::newRow("flap limit")
            << "maxPerHour=2\n"
            << 0 << QStringList{"silence_alarm", "silence_end", "silence_alarm", "silence_end"};
    }
    void detection()
    {
        QFETCH(QString, extra);
        QFETCH(int, suspendSecs);
        QFETCH(QStringList, expected);
        StationRig rig;
        rig.params(10, 500, 0);
        rig.user("Studio A");
        DataFolder::write(rig.paths.settingsFile(),
                          "[alarms]\nbandLowHz=40\nbandHighHz=15000\nhum=true\nhumDelaySecs=10\n"
                          "noise=true\nnoiseDelaySecs=10\nloop=true\nloopDelaySecs=10\n" +
                              extra.toLatin1());
        Station& station = rig.start();
        QStringList fired, table;
        const QDateTime t0 = rig.clock.now();
        connect(&station, &Station::eventRaised, this, [&](const StationEvent& e) {
            fired << e.name() + (e.text.contains(u" again ") ? " again" : "");
            table << QStringLiteral("%1 after %2 s").arg(fired.last()).arg(t0.secsTo(e.time));
        });
        station.startClicked();
        station.suspension().suspendFor(suspendSecs);
        Generator gen{QString::fromLatin1(QTest::currentDataTag()).section(u' ', 0, 0)};
        for (int step = 0; step < 45 * 40; ++step) {
            rig.clock.advance(0.025);
            rig.audio.push(gen.buffer());
        }
        qInfo().noquote() << "| " + QString::fromLatin1(QTest::currentDataTag()) + " | " +
                                 (table.isEmpty() ? QStringLiteral("nothing") : table.join(", ")) +
                                 " |";
        QCOMPARE(fired, expected);
        if (suspendSecs) {
            const QStringList log = rig.log();
            QCOMPARE(log.filter(u"Alarms Suspended     ").size(), 1);
            QCOMPARE(log.filter(u"Alarms Resumed       ").size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Trust)
#include "tst_trust.moc"
