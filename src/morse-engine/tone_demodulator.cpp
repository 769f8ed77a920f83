#include "tone_demodulator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <new>

namespace {

using Complex = std::complex<double>;

// |z| as the square root of its norm: std::abs of a complex goes through
// hypot, whose guard against overflow costs several times as much, and
// these values are nowhere near the limits of a double.
double magnitude(const Complex& z)
{
    return std::sqrt(z.real() * z.real() + z.imag() * z.imag());
}

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr int kRingSize = 64;  // 128 ms of 2 ms values
// The tracker judges the phase steps of 100 ms of baseband at a time and
// moves a fraction of the offset it sees, so noise and one fade cannot pull
// it away.
constexpr int kTrackBlock = 50;
constexpr double kTrackGain = 0.35;
constexpr int kTrackValues = 4;  // 8 ms
// Power-weighted phase steps of a steady tone line up (coherence near 1);
// those of noise cancel.
constexpr double kTrackCoherence = 0.6;
constexpr double kTrackShare = 0.3;
constexpr double kStrongDecay = 0.95;  // per block: the tone's power is remembered for about 2 s
// Flutter (a Doppler spread of several hertz) turns the tone's phase within
// a dot, and a coherent average cancels itself across every fade. The
// phase of the 8 ms sums 48 ms apart tells: a steady tone or slow fading
// keeps it, 10 Hz of spread leaves about a third. Then the envelope is the
// root of the mean power of the 8 ms sums, scaled so that noise keeps its
// level.
constexpr int kFlutterLag = 24;
constexpr double kFlutterOn = 0.45;
constexpr double kFlutterOff = 0.6;
constexpr double kFlutterMemory = 0.03;  // per strong block: about three seconds
// Noise turns the phase as well: only blocks a hundred times the power of
// the quietest block of the last three seconds (the noise between the
// marks) are judged, which a signal 10 dB over the noise in 2500 Hz passes
// and one at 0 dB seldom does.
constexpr int kQuietBlocks = 30;
constexpr double kFlutterSnr = 100.0;
constexpr int kFlutterBlocks = 10;  // judged before the envelope may change

float clampf(float v, float lo, float hi)
{
    return std::isfinite(v) ? std::min(std::max(v, lo), hi) : lo;
}

}  // namespace

struct TONE_DEMOD {
    TONE_DEMOD_CONFIG config{};
    int decimation = 8;
    double offsetHz = 0.0;  // tracked pitch minus nominal
    Complex rotor{1.0, 0.0};
    Complex step{1.0, 0.0};
    Complex accumulator{};
    // The baseband at the nominal pitch: the tracker's steps would turn
    // its phase along a long mark.
    Complex nominalRotor{1.0, 0.0};
    Complex nominalStep{1.0, 0.0};
    Complex nominalAccumulator{};
    int accumulated = 0;
    std::array<Complex, kRingSize> ring{};
    int ringIndex = 0;
    int window = 10;
    Complex windowSum{};
    Complex previousOutput{};
    Complex trackSum{};
    double trackPower = 0.0;
    int trackCount = 0;
    double strongPower = 0.0;  // power of the strongest recent block
    // Power of the 8 ms sums over the window, and their phase coherence
    // across kFlutterLag.
    std::array<Complex, kRingSize> shortRing{};
    std::array<double, kRingSize> shortMagnitudes{};  // std::abs of each, kept rather than computed again
    std::array<double, kRingSize> powerRing{};
    double powerSum = 0.0;
    Complex lagSum{};
    double lagPower = 0.0;
    Complex flutterSum{};
    double flutterPower = 0.0;
    double blockPower = 0.0;
    std::array<double, kQuietBlocks> blockPowers{};
    int blockIndex = 0;
    int judgedBlocks = 0;
    bool incoherent = false;
};

namespace {

void set_step(TONE_DEMOD* d)
{
    const double w = -kTwoPi * (d->config.pitchHz + d->offsetHz) / d->config.sampleRate;
    d->step = Complex(std::cos(w), std::sin(w));
    const double nominal = -kTwoPi * d->config.pitchHz / d->config.sampleRate;
    d->nominalStep = Complex(std::cos(nominal), std::sin(nominal));
}

int window_values(float windowMs)
{
    return std::clamp(static_cast<int>(std::lround(windowMs / kToneDemodStepMs)), 1, kRingSize);
}

void resum_window(TONE_DEMOD* d)
{
    d->windowSum = Complex{};
    d->powerSum = 0.0;
    for (int k = 1; k <= d->window; ++k) {
        const auto at = static_cast<size_t>((d->ringIndex - k + kRingSize) % kRingSize);
        d->windowSum += d->ring[at];
        d->powerSum += d->powerRing[at];
    }
}

void restart(TONE_DEMOD* d)
{
    d->offsetHz = 0.0;
    d->ring.fill(Complex{});
    d->shortRing.fill(Complex{});
    d->shortMagnitudes.fill(0.0);
    d->powerRing.fill(0.0);
    d->powerSum = 0.0;
    d->lagSum = Complex{};
    d->lagPower = 0.0;
    d->flutterSum = Complex{};
    d->flutterPower = 0.0;
    d->blockPower = 0.0;
    d->blockPowers.fill(std::numeric_limits<double>::max());
    d->judgedBlocks = 0;
    d->blockIndex = 0;
    d->incoherent = false;
    d->windowSum = Complex{};
    d->previousOutput = Complex{};
    d->trackSum = Complex{};
    d->trackPower = 0.0;
    d->trackCount = 0;
    d->strongPower = 0.0;
    set_step(d);
}

TONE_DEMOD_CONFIG sanitized(const TONE_DEMOD_CONFIG& c)
{
    TONE_DEMOD_CONFIG s = c;
    s.sampleRate = c.sampleRate >= 500.0f && std::isfinite(c.sampleRate) ? c.sampleRate : 4000.0f;
    s.pitchHz = clampf(c.pitchHz, 0.0f, s.sampleRate / 2.0f);
    s.pullHz = clampf(c.pullHz, 0.0f, 200.0f);
    s.windowMs = clampf(c.windowMs, kToneDemodStepMs, kToneDemodStepMs * kRingSize);
    return s;
}

// Root of the mean power of the 8 ms sums over the window. Noise alone
// gives sqrt(n / pi) times (n values in the window) the mean of a coherent
// average; dividing by that keeps the noise floor where it was when
// flutter sets in.
double incoherent_envelope(const TONE_DEMOD& d)
{
    const double n = d.window;
    const double noiseRatio = std::max(std::sqrt(n / 3.14159265358979323846), 1.0);
    return 2.0 * std::sqrt(std::max(d.powerSum, 0.0) / n) / noiseRatio;
}

// Moves the pitch by part of the offset that 100 ms of phase steps show,
// when they are coherent enough to be a tone.
void track(TONE_DEMOD* d, const Complex& output)
{
    const Complex turn = output * std::conj(d->previousOutput);
    d->previousOutput = output;
    d->trackSum += turn;
    d->trackPower += magnitude(turn);
    if (++d->trackCount < kTrackBlock)
        return;
    // Only blocks with a good part of the tone's power count: in the gaps
    // filter tails and noise turn just as smoothly, at any frequency.
    d->strongPower = std::max(d->trackPower, d->strongPower * kStrongDecay);
    const bool strong = d->trackPower > 0.0 && d->trackPower >= kTrackShare * d->strongPower;
    d->blockPowers[static_cast<size_t>(d->blockIndex)] = d->blockPower;
    d->blockIndex = (d->blockIndex + 1) % kQuietBlocks;
    const double quiet = *std::min_element(d->blockPowers.begin(), d->blockPowers.end());
    if (strong && d->blockPower > kFlutterSnr * quiet) {
        // Summed over many blocks: within one the phase turns little.
        d->flutterSum = (1.0 - kFlutterMemory) * d->flutterSum + d->lagSum;
        d->flutterPower = (1.0 - kFlutterMemory) * d->flutterPower + d->lagPower;
        const double coherence = d->flutterPower > 0.0 ? magnitude(d->flutterSum) / d->flutterPower : 1.0;
        if (++d->judgedBlocks >= kFlutterBlocks)
            d->incoherent = d->incoherent ? coherence < kFlutterOff : coherence < kFlutterOn;
    }
    d->lagSum = Complex{};
    d->lagPower = 0.0;
    d->blockPower = 0.0;
    if (d->config.pullHz > 0.0f && strong && magnitude(d->trackSum) > kTrackCoherence * d->trackPower) {
        const double seenHz = std::arg(d->trackSum) / (kTwoPi * kToneDemodStepMs * 0.001);
        d->offsetHz = std::clamp(d->offsetHz + kTrackGain * seenHz, -static_cast<double>(d->config.pullHz),
                                 static_cast<double>(d->config.pullHz));
        set_step(d);
    }
    d->trackSum = Complex{};
    d->trackPower = 0.0;
    d->trackCount = 0;
}

}  // namespace

TONE_DEMOD* tone_demod_create(const TONE_DEMOD_CONFIG* config)
{
    if (config == nullptr)
        return nullptr;
    auto* d = new (std::nothrow) TONE_DEMOD;
    if (d == nullptr)
        return nullptr;
    tone_demod_restart(d, config);
    return d;
}

void tone_demod_restart(TONE_DEMOD* d, const TONE_DEMOD_CONFIG* config)
{
    if (d == nullptr || config == nullptr)
        return;
    *d = TONE_DEMOD{};
    d->config = sanitized(*config);
    d->decimation = std::max(1, static_cast<int>(std::lround(d->config.sampleRate * kToneDemodStepMs * 0.001f)));
    d->window = window_values(d->config.windowMs);
    restart(d);
}

void tone_demod_configure(TONE_DEMOD* d, const TONE_DEMOD_CONFIG* config)
{
    if (d == nullptr || config == nullptr)
        return;
    const TONE_DEMOD_CONFIG s = sanitized(*config);
    const bool moved = std::fabs(s.pitchHz - d->config.pitchHz) > std::max(s.pullHz, 5.0f);
    const double tracked = d->config.pitchHz + d->offsetHz;
    d->config.pitchHz = s.pitchHz;
    d->config.pullHz = s.pullHz;
    if (moved) {
        restart(d);
    } else {
        // Keep the frequency the tracker found, within the new pull range.
        d->offsetHz = std::clamp(tracked - s.pitchHz, -static_cast<double>(s.pullHz), static_cast<double>(s.pullHz));
        set_step(d);
    }
    tone_demod_set_window(d, s.windowMs);
}

void tone_demod_set_window(TONE_DEMOD* d, float windowMs)
{
    if (d == nullptr)
        return;
    d->config.windowMs = clampf(windowMs, kToneDemodStepMs, kToneDemodStepMs * kRingSize);
    const int window = window_values(d->config.windowMs);
    if (window != d->window) {
        d->window = window;
        resum_window(d);
    }
}

int tone_demod_process(TONE_DEMOD* d, const float* samples, int n, float* envelope, int capacity)
{
    return tone_demod_process_baseband(d, samples, n, envelope, nullptr, capacity);
}

int tone_demod_process_baseband(TONE_DEMOD* d, const float* samples, int n, float* envelope, float* baseband,
                                int capacity)
{
    if (d == nullptr || samples == nullptr || n <= 0)
        return 0;
    int produced = 0;
    int i = 0;
    while (i < n) {
        // The samples up to the next value, with the rotors and sums in
        // registers: the same arithmetic, without a trip through memory
        // for every sample.
        Complex accumulator = d->accumulator;
        Complex rotor = d->rotor;
        Complex nominalAccumulator = d->nominalAccumulator;
        Complex nominalRotor = d->nominalRotor;
        const Complex step = d->step;
        const Complex nominalStep = d->nominalStep;
        int accumulated = d->accumulated;
        bool full = false;
        while (i < n && !full) {
            const float x = std::isfinite(samples[i]) ? samples[i] : 0.0f;
            ++i;
            accumulator += static_cast<double>(x) * rotor;
            rotor *= step;
            if (baseband != nullptr) {
                nominalAccumulator += static_cast<double>(x) * nominalRotor;
                nominalRotor *= nominalStep;
            }
            full = ++accumulated >= d->decimation;
        }
        d->accumulator = accumulator;
        d->rotor = rotor;
        d->nominalAccumulator = nominalAccumulator;
        d->nominalRotor = nominalRotor;
        d->accumulated = accumulated;
        if (!full)
            break;
        const Complex nominalValue = d->nominalAccumulator / static_cast<double>(d->decimation);
        d->nominalAccumulator = Complex{};
        // One 2 ms value: slide the coherent window over it.
        const Complex value = d->accumulator / static_cast<double>(d->decimation);
        d->accumulator = Complex{};
        d->accumulated = 0;
        const int leaving = (d->ringIndex - d->window + kRingSize) % kRingSize;
        d->windowSum += value - d->ring[static_cast<size_t>(leaving)];
        d->ring[static_cast<size_t>(d->ringIndex)] = value;
        d->ringIndex = (d->ringIndex + 1) % kRingSize;
        if (d->ringIndex == 0) {
            d->rotor /= magnitude(d->rotor);
            d->nominalRotor /= magnitude(d->nominalRotor);
        }
        // The tracker looks through a short window of its own: the long
        // one has a null where a station answering 80 Hz off lies, and
        // the tracker would never see him.
        Complex recent{};
        for (int k = 1; k <= kTrackValues; ++k)
            recent += d->ring[static_cast<size_t>((d->ringIndex - k + kRingSize) % kRingSize)];
        recent /= static_cast<double>(kTrackValues);
        const int newest = (d->ringIndex - 1 + kRingSize) % kRingSize;
        const auto laggedAt = static_cast<size_t>((newest - kFlutterLag + kRingSize) % kRingSize);
        const Complex lagged = d->shortRing[laggedAt];
        const double recentMagnitude = magnitude(recent);
        d->lagSum += recent * std::conj(lagged);
        d->lagPower += recentMagnitude * d->shortMagnitudes[laggedAt];
        d->shortRing[static_cast<size_t>(newest)] = recent;
        d->shortMagnitudes[static_cast<size_t>(newest)] = recentMagnitude;
        const double power = std::norm(recent);
        d->blockPower += power;
        d->powerSum += power - d->powerRing[static_cast<size_t>((newest - d->window + kRingSize) % kRingSize)];
        d->powerRing[static_cast<size_t>(newest)] = power;
        track(d, recent);
        if (d->ringIndex == 0)
            resum_window(d);  // rounding must not pile up
        if (produced < capacity) {
            if (baseband != nullptr) {
                baseband[2 * produced] = static_cast<float>(2.0 * nominalValue.real());
                baseband[2 * produced + 1] = static_cast<float>(2.0 * nominalValue.imag());
            }
            if (envelope != nullptr)
                envelope[produced] = static_cast<float>(d->incoherent ? incoherent_envelope(*d)
                                                                      : 2.0 * magnitude(d->windowSum) / d->window);
            if (envelope != nullptr || baseband != nullptr)
                ++produced;
        }
    }
    return produced;
}

void tone_demod_get_status(const TONE_DEMOD* d, TONE_DEMOD_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = TONE_DEMOD_STATUS{};
    if (d == nullptr)
        return;
    status->pitchHz = static_cast<float>(d->config.pitchHz + d->offsetHz);
    status->windowMs = static_cast<float>(d->window) * kToneDemodStepMs;
    status->incoherent = d->incoherent ? 1 : 0;
}

void tone_demod_destroy(TONE_DEMOD* d)
{
    delete d;
}
