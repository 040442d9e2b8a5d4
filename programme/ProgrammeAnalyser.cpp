#include "ProgrammeAnalyser.h"

#include "AudioInput.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dovrane {

namespace {

constexpr double kRate = AudioInput::kSampleRate;
constexpr int kPerSecond = 43;          // buffers of 1024 frames
constexpr int kMinLoopLag = kPerSecond; // a repeat shorter than a second is a sustained sound
constexpr int kLoopSettle = 2 * kPerSecond;
constexpr float kMismatchDb = 10.0f;
constexpr float kSmoothing = 1.0f / 16;
constexpr int kHumVotes = 20;
constexpr int kLoopVotes = kPerSecond;

std::vector<double> hann(int n)
{
    std::vector<double> w(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        w[std::size_t(i)] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n);
    return w;
}

/// True when at least four fifths of the last votes.size() calls said yes.
bool vote(std::vector<bool>& votes, int& next, bool yes)
{
    votes[std::size_t(next)] = yes;
    next = (next + 1) % int(votes.size());
    return std::count(votes.begin(), votes.end(), true) * 5 >= qsizetype(votes.size()) * 4;
}

int signatureEdge(int band)
{
    // 215 Hz to 10 kHz in log steps: where programme lives, clear of the pilot.
    return int(std::lround(5 * std::pow(232.0 / 5, double(band) / ProgrammeAnalyser::kBands)));
}

} // namespace

struct ProgrammeAnalyser::Plans
{
    Plans()
    {
        in = fftw_alloc_real(kFrames);
        out = fftw_alloc_complex(kFrames / 2 + 1);
        plan = fftw_plan_dft_r2c_1d(kFrames, in, out, FFTW_ESTIMATE);
        humIn = fftw_alloc_real(kHumFrames);
        humOut = fftw_alloc_complex(kHumFrames / 2 + 1);
        humPlan = fftw_plan_dft_r2c_1d(kHumFrames, humIn, humOut, FFTW_ESTIMATE);
    }
    ~Plans()
    {
        fftw_destroy_plan(plan);
        fftw_destroy_plan(humPlan);
        fftw_free(in);
        fftw_free(out);
        fftw_free(humIn);
        fftw_free(humOut);
    }
    double* in = nullptr;
    fftw_complex* out = nullptr;
    fftw_plan plan = nullptr;
    double* humIn = nullptr;
    fftw_complex* humOut = nullptr;
    fftw_plan humPlan = nullptr;
};

ProgrammeAnalyser::ProgrammeAnalyser()
    : m_plans(std::make_unique<Plans>()), m_window(hann(kFrames)), m_humWindow(hann(kHumFrames)),
      m_mono(kFrames), m_power(kFrames / 2 + 1), m_humIn(kHumFrames)
{}

ProgrammeAnalyser::~ProgrammeAnalyser() = default;

void ProgrammeAnalyser::configure(const AlarmSettings& settings)
{
    m_settings = settings;
    const double binHz = kRate / kFrames;
    m_bandFrom = std::max(1, int(std::ceil(settings.bandLowHz / binHz)));
    m_bandTo = std::min(kFrames / 2, int(std::floor(settings.bandHighHz / binHz)));
    m_notchFrom = settings.notchPilot ? int(std::ceil(18500 / binHz)) : 1;
    m_notchTo = settings.notchPilot ? int(std::floor(19500 / binHz)) : 0;
    m_bandLevel = 0;

    m_humFill = 0;
    m_humVotes.assign(kHumVotes, false);
    m_humVote = 0;
    m_noiseFrames.assign(kPerSecond, {});
    m_noiseNext = m_noiseCount = 0;
    m_noiseVotes.assign(2 * kPerSecond, false);
    m_noiseVote = 0;

    const int window = std::clamp(settings.loopWindowSecs, 4, 60) * kPerSecond;
    m_signatures.assign(std::size_t(window + 1) * kBands, 0);
    m_loud.assign(std::size_t(window + 1), 0);
    m_sigNext = m_sigCount = 0;
    m_distance.assign(std::size_t(window + 1), 0);
    m_compared.assign(std::size_t(window + 1), 0);
    m_loopVotes.assign(kLoopVotes, false);
    m_loopVote = 0;
    m_hum = m_noise = m_loop = false;
}

bool ProgrammeAnalyser::analyse(const QByteArray& buffer, qint32 threshold, bool rawSound)
{
    const auto* samples = reinterpret_cast<const qint16*>(buffer.constData());
    const int frames = std::min<int>(int(buffer.size() / 4), kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const double m = i < frames ? 0.5 * (samples[2 * i] + samples[2 * i + 1]) : 0.0;
        m_mono[std::size_t(i)] = m;
        m_plans->in[i] = m * m_window[std::size_t(i)];
    }
    fftw_execute(m_plans->plan);
    for (int k = 0; k <= kFrames / 2; ++k) {
        const double re = m_plans->out[k][0], im = m_plans->out[k][1];
        m_power[std::size_t(k)] = re * re + im * im;
    }
    bool sound = rawSound;
    if (m_settings.bandEnabled()) {
        measureBand();
        sound = m_bandLevel > threshold;
    }
    if (m_settings.noise.enabled)
        checkNoise(sound);
    if (m_settings.hum.enabled)
        checkHum(sound);
    if (m_settings.loop.enabled)
        checkLoop(sound);
    return sound;
}

void ProgrammeAnalyser::measureBand()
{
    double energy = 0;
    for (int k = m_bandFrom; k <= m_bandTo; ++k) {
        if (k < m_notchFrom || k > m_notchTo)
            energy += m_power[std::size_t(k)];
    }
    // A Hann-windowed sine of amplitude A puts 3 N² A² / 32 into the one-sided
    // power spectrum.
    m_bandLevel = std::sqrt(32 * energy / (3.0 * kFrames * kFrames));
}

void ProgrammeAnalyser::checkNoise(bool sound)
{
    NoiseFrame frame;
    frame.sound = sound;
    double peak = 0, squares = 0;
    for (double m : m_mono) {
        peak = std::max(peak, std::abs(m));
        squares += m * m;
    }
    const double rms = std::sqrt(squares / kFrames);
    frame.crest = rms > 0 ? peak / rms : 0;
    frame.levelDb = 10 * std::log10(squares / kFrames + 1e-9);
    // Local flatness in bands of 4 bins up to 500 Hz and 16 above (to 16 kHz),
    // weighted by each band's energy: empty bands do not look like noise, and hum
    // with a little hiss is not noise.
    double weighted = 0, total = 0;
    for (int from = 1, width = 4; from + width <= 373; from += width) {
        width = from < 12 ? 4 : 16;
        double sum = 0, logs = 0;
        for (int k = from; k < from + width; ++k) {
            sum += m_power[std::size_t(k)];
            logs += std::log(m_power[std::size_t(k)] + 1e-12);
        }
        const double mean = sum / width;
        if (mean <= 0)
            continue;
        weighted += sum * (std::exp(logs / width) / mean);
        total += sum;
    }
    frame.flatness = total > 0 ? weighted / total : 0;
    m_noiseFrames[std::size_t(m_noiseNext)] = frame;
    m_noiseNext = (m_noiseNext + 1) % int(m_noiseFrames.size());
    m_noiseCount = std::min(m_noiseCount + 1, int(m_noiseFrames.size()));
    if (m_noiseCount < int(m_noiseFrames.size())) {
        m_noise = false;
        return;
    }
    // Noise is flat, has no peaks far above its RMS, and keeps its loudness from one
    // buffer to the next; applause and speech fail the last two.
    double flat = 0, crest = 0, level = 0, levelSq = 0;
    bool allSound = true;
    for (const NoiseFrame& f : m_noiseFrames) {
        allSound = allSound && f.sound;
        flat += f.flatness;
        crest = std::max(crest, f.crest);
        level += f.levelDb;
        levelSq += f.levelDb * f.levelDb;
    }
    const double n = double(m_noiseFrames.size());
    const double spread = std::sqrt(std::max(0.0, levelSq / n - (level / n) * (level / n)));
    m_noise = vote(m_noiseVotes, m_noiseVote,
                   allSound && flat / n >= 0.4 && crest <= 6.5 && spread <= 3.0);
}

void ProgrammeAnalyser::checkHum(bool sound)
{
    // Four buffers make one transform with 10.8 Hz bins, fine enough for 50 and 60 Hz.
    std::copy(m_mono.begin(), m_mono.end(), m_humIn.begin() + m_humFill);
    m_humFill += kFrames;
    if (m_humFill < kHumFrames)
        return;
    m_humFill = 0;
    for (int i = 0; i < kHumFrames; ++i)
        m_plans->humIn[i] = m_humIn[std::size_t(i)] * m_humWindow[std::size_t(i)];
    fftw_execute(m_plans->humPlan);
    const double binHz = kRate / kHumFrames;
    const auto power = [this](int k) {
        const double re = m_plans->humOut[k][0], im = m_plans->humOut[k][1];
        return re * re + im * im;
    };
    double total = 0;
    for (int k = 2; k <= kHumFrames / 2; ++k)
        total += power(k);
    bool hum = false;
    for (const double mains : {50.0, 60.0}) {
        double harmonics = 0, fundamental = 0;
        for (int h = 1; h <= 12; ++h) {
            const int from = int(std::ceil((h * mains - 12) / binHz));
            const int to = int(std::floor((h * mains + 12) / binHz));
            for (int k = from; k <= to; ++k) {
                harmonics += power(k);
                if (h == 1)
                    fundamental += power(k);
            }
        }
        // Mostly mains harmonics, and the fundamental itself present: a note that
        // merely shares a harmonic with the mains does not count.
        hum = hum || (total > 0 && harmonics >= 0.8 * total && fundamental >= 0.1 * total);
    }
    m_hum = vote(m_humVotes, m_humVote, sound && hum);
}

void ProgrammeAnalyser::checkLoop(bool sound)
{
    const int ringSize = int(m_loud.size());
    float* sig = &m_signatures[std::size_t(m_sigNext) * kBands];
    for (int b = 0; b < kBands; ++b) {
        double e = 0;
        for (int k = signatureEdge(b); k < signatureEdge(b + 1); ++k)
            e += m_power[std::size_t(k)];
        sig[b] = float(10 * std::log10(e + 1e2));
    }
    m_loud[std::size_t(m_sigNext)] = sound;
    const int now = m_sigNext;
    m_sigNext = (m_sigNext + 1) % ringSize;
    m_sigCount = std::min(m_sigCount + 1, ringSize);

    // Per lag, how far this buffer's signature lies from the one that many buffers
    // ago, smoothed over time. A loop shows as one lag far closer than the rest; a
    // constant tone as every lag close. Silence never supports a loop.
    float best = 1e9f, sum = 0;
    int valid = 0;
    for (int lag = kMinLoopLag; lag < m_sigCount; ++lag) {
        const int then = (now - lag + ringSize) % ringSize;
        const bool loudThen = m_loud[std::size_t(then)] != 0;
        if (sound || loudThen) {
            float d = kMismatchDb;
            if (sound && loudThen) {
                const float* old = &m_signatures[std::size_t(then) * kBands];
                d = 0;
                for (int b = 0; b < kBands; ++b)
                    d += std::abs(sig[b] - old[b]);
                d /= kBands;
            }
            float& D = m_distance[std::size_t(lag)];
            int& n = m_compared[std::size_t(lag)];
            D = n == 0 ? d : D + kSmoothing * (d - D);
            ++n;
        }
        if (m_compared[std::size_t(lag)] >= kLoopSettle) {
            best = std::min(best, m_distance[std::size_t(lag)]);
            sum += m_distance[std::size_t(lag)];
            ++valid;
        }
    }
    const float mean = valid ? sum / float(valid) : 0;
    const bool repeat = valid > 0 && ((best < 0.35f * mean && best < 3.0f) || mean < 0.5f);
    m_loop = vote(m_loopVotes, m_loopVote, sound && repeat);
}

} // namespace dovrane
