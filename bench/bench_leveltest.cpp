// How much of the user-interface thread the level test takes: the cost of testing
// one 4096-byte buffer, next to a plain copy of the same buffer, in nanoseconds.

#include "Account.h"
#include "AlarmPlan.h"
#include "FakeAudioInput.h"
#include "LevelTest.h"
#include "SilenceMonitor.h"
#include "StationRig.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

using namespace dovrane;

namespace {

volatile int gSink = 0;

/// Median over 9 runs of the mean time of one call over 20,000 calls, in nanoseconds.
double medianNs(const std::function<void()>& body)
{
    std::vector<double> runs;
    for (int r = 0; r < 9; ++r) {
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < 20000; ++i)
            body();
        runs.push_back(
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - begin)
                .count() /
            20000);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QByteArray noise = test::FakeAudioInput::silenceBuffer();
    std::mt19937 random(42);
    for (char& byte : noise)
        byte = char(random());
    const std::pair<const char*, QByteArray> inputs[] = {
        {"silence", test::FakeAudioInput::silenceBuffer()},
        {"1 kHz tone", test::FakeAudioInput::toneBuffer(12000)},
        {"full-scale noise", noise}};

    test::DataFolder folder;
    AlarmPlan plan;
    Account account;
    SystemClock clock;
    ErrorReporter errors;
    AlarmLog log(clock, folder.paths, errors);
    test::FakeAudioInput input;
    SilenceMonitor monitor(plan, account, clock, input, log, errors);
    monitor.setThreshold(300);

    std::printf("ns per %d-byte buffer, median of 9 runs of 20,000\n\n%-18s %8s %11s %13s\n",
                AudioInput::kBufferBytes, "input", "memcpy", "level test", "buffer event");
    for (const auto& [name, buffer] : inputs) {
        QByteArray target(AudioInput::kBufferBytes, '\0');
        const double copy = medianNs([&] {
            std::memcpy(target.data(), buffer.constData(), AudioInput::kBufferBytes);
            gSink = gSink + target.at(gSink & 0xfff);
        });
        const double level =
            medianNs([&] { gSink = gSink + testLevel(buffer, monitor.threshold()).PeakLeft; });
        const double event = medianNs([&] { monitor.bufferFilled(buffer); });
        std::printf("%-18s %8.0f %11.0f %13.0f\n", name, copy, level, event);
    }
    return 0;
}
