// Alarms engineers can trust, through the whole station on fakes: generated audio
// in, events out. Prints the detection table of the README.

#include "AlarmSuspension.h"
#include "RecordingAnalysis.h"
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
    double right = 1; ///< the right channel: the left times this
    std::mt19937 rng{7};
    double pink[3]{}, brown = 0, f0 = 220, amp = 0, phase = 0;
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
        if (kind.startsWith(u"programme")) { // a quiet intro, then notes that never repeat
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
        if (kind == u"rumble") // a turntable's at 43 Hz, under a faint tone
            return 10000 * std::sin(kTau * 43 * t) + 200 * std::sin(kTau * 1000 * t);
        if (kind == u"hum")
            return 3000 * std::sin(kTau * 50 * t) + 900 * std::sin(kTau * 100 * t) +
                   600 * std::sin(kTau * 150 * t) + 20 * white();
        if (kind == u"white")
            return 1000 * white();
        if (kind == u"brown") // integrated white noise, leaking back to zero
            return 100 * (brown = 0.995 * brown + white());
        if (kind == u"pink gaps" && std::fmod(t, 6) < 0.3) // a second of tone every 6 s
            return 3000 * std::sin(kTau * 700 * t);
        if (kind.startsWith(u"pink")) { // white noise through a three-pole filter
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
        for (int i = 0; i < 1024; ++i) {
            s[2 * i] = qint16(std::clamp(sample(), -32767.0, 32767.0));
            s[2 * i + 1] = qint16(right * s[2 * i]);
        }
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
        QTest::newRow("rumble") << "band_low_hz=100\n" << 0 << QStringList{"silence_alarm"};
        QTest::newRow("hum") << "" << 0 << QStringList{"hum"};
        QTest::newRow("pink") << "" << 0 << QStringList{"noise"};
        QTest::newRow("programme without the band") << "band_low_hz=0\nband_high_hz=0\n"
                                                    << 0 << none;
        QTest::newRow("loop") << "" << 0 << QStringList{"loop"};
        QTest::newRow("tone") << "" << 0 << QStringList{"loop"};
        QTest::newRow("pilot suspended")
            << "" << 25 << QStringList{"alarms_suspended", "alarms_resumed", "silence_alarm"};
        QTest::newRow("flap") << "cooldown_minutes=5m\n"
                              << 0
                              << QStringList{"silence_alarm", "silence_end", "silence_alarm again",
                                             "silence_end"};
        QTest::newRow("flap release") << "release_secs=5s\n" << 0 << QStringList{"silence_alarm"};
        // The third alarm, at 40 s, is over the limit: logged, not told.
        QTest::newRow("flap limit")
            << "max_per_hour=2\n"
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
        DataFolder::write(
            rig.paths.settingsFile(),
            "[alarms]\n" + extra.toLatin1() + // the first of a key counts
                "band_low_hz=40\nband_high_hz=15000\nhum=true\nhum_delay_secs=10\nnoise=true\n"
                "noise_delay_secs=10\nloop=true\nloop_delay_secs=10\n");
        Station& station = rig.start();
        QStringList fired, table;
        const QDateTime t0 = rig.clock.now();
        connect(&station, &Station::eventRaised, this, [&](const StationEvent& e) {
            fired << e.name() + (e.text.contains(u" again ") ? " again" : "");
            table << QStringLiteral("%1 after %2 s").arg(fired.last()).arg(t0.secsTo(e.time));
        });
        station.startClicked();
        station.suspension().suspendFor(suspendSecs, QStringLiteral("the window"));
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
            QCOMPARE(log.filter(QRegularExpression("Alarms Suspended {5}$")).size(), 1);
            QCOMPARE(log.filter(QRegularExpression("Alarms Resumed {7}$")).size(), 1);
        }
    }

    // dovrane analyse over generated recordings: what each detector names, and when.
    void analyser_data()
    {
        QTest::addColumn<QString>("kind");
        // "what seconds": every fault named within its delay (10 s) + 3 s.
        QTest::addColumn<QStringList>("expected");
        // Its 4 s quiet intro is what the suggested alarm delay must outlast.
        QTest::newRow("programme") << "programme" << QStringList{"delay 8"};
        QTest::newRow("programme on the left alone") << "programme left" << QStringList{"delay 8"};
        QTest::newRow("white static") << "white" << QStringList{"Noise 12"};
        QTest::newRow("brown static") << "brown" << QStringList{"Noise 12"};
        // A second of tone every 6 s does not restart the count.
        QTest::newRow("pink static with gaps") << "pink gaps" << QStringList{"Noise 12"};
        QTest::newRow("hum is hum alone") << "hum" << QStringList{"Hum 11"};
        QTest::newRow("inverted speech is phase, not silence")
            << "speech inverted" << QStringList{"Phase Reversed 11"};
        QTest::newRow("pilot alone is silence") << "pilot" << QStringList{"Alarm 9"};
    }
    void analyser()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Dovrane.ini"));
        DataFolder::write(ini, "[alarms]\nbandLowHz=40\nbandHighHz=15000\nhum=true\n"
                               "humDelaySecs=10\nnoise=true\nnoiseDelaySecs=10\nloop=true\n"
                               "loopDelaySecs=10\n[detectors]\nphase=true\n");
        Generator gen{kind.section(u' ', 0, 0), kind.endsWith(u"inverted") ? -1.0
                                                : kind.endsWith(u"left")   ? 0.0
                                                                           : 1.0};
        QByteArray pcm;
        for (int i = 0; i < 43 * 25; ++i)
            pcm += gen.buffer();
        const QString wav = dir.filePath(QStringLiteral("in.wav"));
        QByteArray head("RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0"
                        "\x04\0\x10\0data....",
                        44);
        qToLittleEndian<quint32>(quint32(pcm.size() + 36), head.data() + 4);
        qToLittleEndian<quint32>(quint32(pcm.size()), head.data() + 40);
        DataFolder::write(wav, head + pcm);
        RecordingAnalysis analysis(ini, 500, 10);
        RecordingAnalysis::Result result;
        QVERIFY2(analysis.run(wav, result), qPrintable(analysis.errorString()));
        QStringList fired;
        for (const RecordingAnalysis::Event& e : std::as_const(result.events))
            fired << e.what + QLatin1Char(' ') + QString::number(int(e.at));
        if (kind.startsWith(u"programme"))
            fired << QStringLiteral("delay %1").arg(result.suggestion.delaySecs);
        QCOMPARE(fired, expected);
    }
};

QTEST_GUILESS_MAIN(tst_Trust)
#include "tst_trust.moc"
