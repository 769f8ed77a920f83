// The CW receiver on a minute of noisy CW, fed as the audio pipeline does:
// configure, then process, block by block; and its front end alone (crash
// blanker, prefilter and decimation to 4000 Hz). The "realtime" counter is
// the audio seconds handled per second of one core.
#include "CWRx.h"
#include "cw_limits.h"
#include "cwqo_prefilter.h"
#include "impulse_blanker.h"
#include "morse_audio_generator.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr double kSeconds = 60.0;

std::vector<float> minute_of_cw(uint32_t rate)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.sampleRateHz = rate;
    config.wpm = 25;
    config.pitchHz = 610;
    config.addNoise = true;
    config.snrDb = 10.0;
    config.leadSeconds = 1.0;
    config.tailSeconds = 0.0;
    std::string text;
    while (text.size() < 400)
        text += "CQ CQ DE ZR1ABC ZR1ABC PSE K  ";
    std::vector<float> samples;
    morse_audio_generate(config, text, &samples, nullptr, nullptr);
    samples.resize(static_cast<size_t>(kSeconds * rate), 0.0f);
    return samples;
}

void decode_minute(benchmark::State& state, bool fallback)
{
    const auto rate = static_cast<uint32_t>(state.range(0));
    const auto block = static_cast<size_t>(state.range(1));
    const std::vector<float> audio = minute_of_cw(rate);
    CW_RX_CONFIG config = cw_rx_default_config();
    config.sampleRate = rate;
    config.pitchHz = 600;
    config.autoPitch = 1;
    char text[128];
    size_t decoded = 0;
    for (auto _ : state) {
        CW_RX* rx = fallback ? cw_rx_create_fallback(&config) : cw_rx_create(&config);
        for (size_t at = 0; at + block <= audio.size(); at += block) {
            cw_rx_configure(rx, &config);
            decoded += cw_rx_process(rx, audio.data() + at, block, text, sizeof(text));
        }
        cw_rx_destroy(rx);
    }
    benchmark::DoNotOptimize(decoded);
    state.counters["realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CwRxBackend(benchmark::State& state)
{
    decode_minute(state, false);
}

void BM_CwRxFallback(benchmark::State& state)
{
    decode_minute(state, true);
}

// The backend's conditioning of 48 kHz audio in blocks of 2048 samples:
// sample guard, crash blanker, DC blocker, two band-pass sections and
// decimation to 4000 Hz.
void BM_FrontEnd48k(benchmark::State& state)
{
    constexpr double kRate = 48000.0;
    constexpr size_t kBlock = 2048;
    const std::vector<float> audio = minute_of_cw(static_cast<uint32_t>(kRate));
    const IMPULSE_BLANKER_CONFIG blankerConfig{.sampleRate = static_cast<float>(kRate), .pitchHz = 610.0f};
    IMPULSE_BLANKER* blanker = impulse_blanker_create(&blankerConfig);
    CWQO_CONDITIONER conditioner{};
    cwqo_conditioner_design(&conditioner, kRate, 610.0, 120.0);
    std::vector<float> block(kBlock);
    std::vector<float> decimated(audio.size() / 12 + 2);
    size_t written = 0;
    for (auto _ : state) {
        written = 0;
        for (size_t at = 0; at < audio.size(); at += kBlock) {
            const size_t n = std::min(kBlock, audio.size() - at);
            for (size_t j = 0; j < n; ++j)
                block[j] = cwqo_sample_guard(audio[at + j]);
            impulse_blanker_process(blanker, block.data(), block.data(), static_cast<int>(n));
            written += cwqo_conditioner_run(&conditioner, block.data(), n, 4000.0 / kRate, decimated.data() + written);
        }
        benchmark::DoNotOptimize(decimated.data());
    }
    impulse_blanker_destroy(blanker);
    if (written != audio.size() / 12)
        state.SkipWithError("decimation by 12 lost or gained samples");
    state.counters["realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_FrontEnd48k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CwRxBackend)->Args({48000, 2048})->Args({8000, 2048})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CwRxFallback)->Args({48000, 2048})->Args({8000, 32})->Unit(benchmark::kMillisecond);
