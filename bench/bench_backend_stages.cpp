// The per-block stages around the Morse engine, as zarvo-decode runs them:
// the backend's envelope bookkeeping (history, percentiles, run lengths and
// presence) and the tuner (spectrum, peak tracking and tone search). Each
// iteration is one second of audio; "realtime" counts audio seconds per
// second of CPU time.
#include "cw_auto_gtm.h"
#include "cw_tuner.h"
#include "cwqo_envelope_history.h"
#include "cwqo_envelope_statistics.h"
#include "cwqo_presence.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kEngineRate = 4000.0;
constexpr double kAudioRate = 48000.0;
constexpr size_t kAudioBlock = 2048;  // zarvo-decode's block
constexpr double kPitchHz = 620.0;
constexpr double kSeconds = 30.0;  // the recording, played in a loop

// "PARIS " at 20 wpm, keyed as unit counts: positive key down, negative up.
const std::vector<int> kKeying = {1, -1, 3, -1, 3, -1, 1, -3, 1, -1, 3, -3, 1, -1,
                                  3, -1, 1, -3, 1, -1, 1, -3, 1, -1, 1, -1, 1, -7};
constexpr double kUnitSeconds = 0.06;

// A keyed tone at `pitchHz` with white noise about 10 dB under it, sampled
// at `rate`.
std::vector<float> keyed_tone(double rate, double pitchHz)
{
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    const auto total = static_cast<size_t>(kSeconds * rate);
    std::vector<float> out;
    out.reserve(total);
    size_t element = 0;
    double left = kKeying[0] * kUnitSeconds;
    for (size_t n = 0; n < total; ++n) {
        const bool down = kKeying[element] > 0;
        const double tone =
            down ? 0.3 * std::sin(2.0 * std::numbers::pi * pitchHz * static_cast<double>(n) / rate) : 0.0;
        out.push_back(static_cast<float>(tone) + noise(random));
        left -= 1.0 / rate;
        if (left <= 0.0) {
            element = (element + 1) % kKeying.size();
            left += std::abs(kKeying[element]) * kUnitSeconds;
        }
    }
    return out;
}

// The backend's envelope of a keyed tone: the rectified 4000 Hz signal
// through its 5 ms rise / 35 ms fall follower.
std::vector<float> keyed_envelope()
{
    const std::vector<float> tone = keyed_tone(kEngineRate, kPitchHz);
    std::vector<float> envelope;
    envelope.reserve(tone.size());
    const double rise = std::exp(-1.0 / (kEngineRate * 0.005));
    const double fall = std::exp(-1.0 / (kEngineRate * 0.035));
    float level = 0.0f;
    for (float s : tone) {
        const float a = std::fabs(s);
        const double c = a > level ? rise : fall;
        level = static_cast<float>(c * level + (1.0 - c) * a);
        envelope.push_back(level);
    }
    return envelope;
}

void set_realtime(benchmark::State& state, double audioSeconds)
{
    state.counters["realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

// One iteration is one second of audio: as many blocks as a second holds,
// the fraction carried over to the next.
template <typename Block>
void run_audio_seconds(benchmark::State& state, Block& block)
{
    const double blocksPerSecond = kAudioRate / static_cast<double>(kAudioBlock);
    double blocks = 0.0;
    double done = 0.0;
    for (auto _ : state) {
        blocks += blocksPerSecond;
        for (; done + 1.0 <= blocks; done += 1.0)
            block();
    }
}

// Per block of 2048 samples at 48 kHz the backend gets 170 or 171 envelope
// values; it appends them, commits, reads the percentiles and run lengths
// and judges presence.
void BM_BackendBookkeeping(benchmark::State& state)
{
    const std::vector<float> envelope = keyed_envelope();
    CWQO_ENVELOPE_HISTORY history;
    cwqo_history_init(&history, kCwqoHistorySamples);
    CWQO_RUN_LENGTHS runs;
    cwqo_run_lengths_init(&runs);
    CWQO_PRESENCE presence;
    cwqo_presence_reset(&presence);
    const double sampleMs = 1000.0 / kEngineRate;
    const double perBlock = static_cast<double>(kAudioBlock) * kEngineRate / kAudioRate;
    std::vector<float> levels(static_cast<size_t>(perBlock) + 1);
    size_t at = 0;
    double phase = 0.0;
    const auto block = [&]() {
        phase += perBlock;
        const auto n = static_cast<size_t>(phase);
        phase -= static_cast<double>(n);
        for (size_t i = 0; i < n; ++i) {
            levels[i] = envelope[at];
            at = at + 1 == envelope.size() ? 0 : at + 1;
        }
        // In one append each, as the backend hands over a block's levels.
        cwqo_history_append(&history, levels.data(), n);
        cwqo_presence_add(&presence, levels.data(), n, sampleMs);
        cwqo_history_commit(&history);
        cwqo_presence_update(&presence, kCwqoPresenceOnDb, kCwqoPresenceOffDb);
        if (cwqo_history_size(history) >= kCwqoStatisticsMinimum)
            benchmark::DoNotOptimize(cwqo_envelope_statistics(history, 10.0, 40.0, &runs));
    };
    // A full history first, as in steady decoding.
    for (size_t i = 0; i < 200; ++i)
        block();
    run_audio_seconds(state, block);
    benchmark::DoNotOptimize(presence.present);
    set_realtime(state, static_cast<double>(state.iterations()));
}
BENCHMARK(BM_BackendBookkeeping)->Unit(benchmark::kMicrosecond);

// cw_tuner_update as zarvo-decode calls it: every 2048-sample block with the
// receiver's status, automatic pitch (find the tone, then AutoGTM).
void BM_TunerUpdate(benchmark::State& state)
{
    const std::vector<float> audio = keyed_tone(kAudioRate, kPitchHz);
    const CW_TUNER_CONFIG tuning{.autoGtm = 1, .rearmSeconds = kCWAutoGtmDefaultRearmSeconds, .findTone = 1};
    CW_TUNER* tuner = cw_tuner_create(&tuning);
    if (tuner == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    const CW_RX_CONFIG rx{.sampleRate = kAudioRate,
                          .pitchHz = 600.0,
                          .bandwidthHz = 120.0,
                          .threshold = 0.5f,
                          .releaseThreshold = 0.4f,
                          .autoThreshold = 1,
                          .autoPitch = 1,
                          .minWpm = 10.0,
                          .maxWpm = 40.0,
                          .searchHz = 15.0,
                          .agcEnabled = 1,
                          .lockHoldMs = 1800.0,
                          .markFloor = 0.0};
    CW_RX_STATUS status{};
    status.signalPresent = 1;
    status.statQuality = 40.0f;
    status.decoderCost = 0.5f;
    double now = 0.0;
    size_t at = 0;
    CW_TUNER_RESULT result{};
    const auto block = [&]() {
        now += static_cast<double>(kAudioBlock) / kAudioRate;
        cw_tuner_update(tuner, audio.data() + at, kAudioBlock, &rx, &status, now, &result);
        at += kAudioBlock;
        if (at + kAudioBlock > audio.size())
            at = 0;
    };
    for (size_t i = 0; i < 100; ++i)
        block();
    run_audio_seconds(state, block);
    benchmark::DoNotOptimize(result);
    set_realtime(state, static_cast<double>(state.iterations()));
    cw_tuner_destroy(tuner);
}
BENCHMARK(BM_TunerUpdate)->Unit(benchmark::kMicrosecond);

}  // namespace
