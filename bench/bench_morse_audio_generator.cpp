// Generation speed of one minute of noisy Morse audio at 48000 Hz.
#include "morse_audio_generator.h"

#include <benchmark/benchmark.h>

namespace {

void BM_GenerateMinuteWithNoise(benchmark::State& state)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.sampleRateHz = 48000;
    config.addNoise = true;
    config.snrDb = 10.0;
    config.jitterPercent = 5.0;
    config.leadSeconds = 0.0;
    config.tailSeconds = 0.0;
    std::string text;
    for (int i = 0; i < 20; ++i)  // 3 s per PARIS at 20 WPM
        text += "PARIS ";
    std::vector<float> samples;
    for (auto _ : state) {
        morse_audio_generate(config, text, &samples, nullptr, nullptr);
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["audio_s"] = static_cast<double>(samples.size()) / config.sampleRateHz;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples.size()));
}

}  // namespace

BENCHMARK(BM_GenerateMinuteWithNoise)->Unit(benchmark::kMillisecond);
