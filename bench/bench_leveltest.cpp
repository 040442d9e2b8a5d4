// How much of the user-interface thread the level test takes: the cost of testing
// one 4096-byte buffer, next to a plain copy of the same buffer, in nanoseconds.

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmPlan.h"
#include "AudioInput.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "LevelTest.h"
#include "SilenceMonitor.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

using namespace dovrane;

namespace {

constexpr int kIterations = 20000;
constexpr int kRuns = 9;

volatile int gSink = 0;

QByteArray makeBuffer(const std::function<qint16(int)>& sample)
{
    QByteArray out(AudioInput::kBufferBytes, '\0');
    auto* p = reinterpret_cast<uchar*>(out.data());
    for (int i = 0; i < AudioInput::kBufferBytes / 4; ++i) {
        qToLittleEndian<qint16>(sample(i), p + 4 * i);
        qToLittleEndian<qint16>(sample(i + 7), p + 4 * i + 2);
    }
    return out;
}

/// Median over kRuns of the mean time of one call, in nanoseconds.
double medianNs(const std::function<void()>& body)
{
    std::vector<double> runs;
    for (int r = 0; r < kRuns; ++r) {
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < kIterations; ++i)
            body();
        const auto end = std::chrono::steady_clock::now();
        runs.push_back(std::chrono::duration<double, std::nano>(end - begin).count() / kIterations);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);

    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-32767, 32767);
    const struct
    {
        const char* name;
        QByteArray buffer;
    } inputs[] = {
        {"silence", makeBuffer([](int) { return qint16(0); })},
        {"1 kHz tone", makeBuffer([](int i) {
             return qint16(std::lround(
                 12000 * std::sin(2 * std::numbers::pi * 1000.0 * i / AudioInput::kSampleRate)));
         })},
        {"full-scale noise", makeBuffer([&](int) { return qint16(noise(random)); })},
    };

    QTemporaryDir dir;
    AlarmPlan plan;
    Account account;
    SystemClock clock;
    ErrorReporter errors;
    DataPaths paths(dir.path());
    AlarmLog log(clock, paths, errors);
    struct IdleInput final : AudioInput
    {
        int deviceCount() const override { return 0; }
        QString deviceName(int) const override { return {}; }
        void selectDevice(int) override {}
        int selectedDevice() const override { return 0; }
        bool start() override { return true; }
        void stop() override {}
        bool isCapturing() const override { return true; }
        QString errorString() const override { return {}; }
    } input;
    SilenceMonitor monitor(plan, account, clock, input, log, errors);
    monitor.setThreshold(300);

    std::printf("%d buffers of %d bytes per run, median of %d runs, ns per buffer\n\n", kIterations,
                AudioInput::kBufferBytes, kRuns);
    std::printf("%-18s %12s %12s %14s %8s\n", "input", "memcpy", "level test", "buffer event",
                "test/copy");
    for (const auto& input : inputs) {
        QByteArray target(AudioInput::kBufferBytes, '\0');
        const double copy = medianNs([&] {
            std::memcpy(target.data(), input.buffer.constData(), AudioInput::kBufferBytes);
            gSink = gSink + target.at(gSink & 0xfff);
        });
        const double test = medianNs([&] {
            const LevelReading reading = testLevel(input.buffer, monitor.threshold());
            gSink = gSink + (reading.sound ? 1 : 0) + reading.PeakLeft;
        });
        const double event = medianNs([&] { monitor.bufferFilled(input.buffer); });
        std::printf("%-18s %12.0f %12.0f %14.0f %8.1f\n", input.name, copy, test, event,
                    test / copy);
    }
    return 0;
}
