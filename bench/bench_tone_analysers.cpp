// Cost of the tone analysers at the engine's sizes: 4000 Hz, 128-sample
// frames, a 512-point spectrum per frame, the demodulator and the slicer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "fft.h"
#include "keying_slicer.h"
#include "resampler.h"
#include "stfft.h"
#include "tone_demodulator.h"

namespace {

constexpr int kFrame = 128;

std::vector<float> noise(int n)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x)
        v = u(rng);
    return x;
}

void BM_ToneDemodFrame(benchmark::State& state)
{
    const TONE_DEMOD_CONFIG c{.sampleRate = 4000.0f, .pitchHz = 600.0f, .pullHz = 50.0f, .windowMs = 48.0f};
    TONE_DEMOD* d = tone_demod_create(&c);
    const std::vector<float> x = noise(kFrame);
    float envelope[kFrame];
    for (auto _ : state) {
        benchmark::DoNotOptimize(tone_demod_process(d, x.data(), kFrame, envelope, kFrame));
        benchmark::DoNotOptimize(envelope[0]);
    }
    tone_demod_destroy(d);
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_ToneDemodFrame);

// One frame's 16 envelope values at 20 WPM, where the slicer looks 75
// values either way.
void BM_SlicerFrame(benchmark::State& state)
{
    KEYING_SLICER* s = keying_slicer_create(2.0f);
    keying_slicer_set_dot(s, 60.0f);
    const std::vector<float> x = noise(4096);
    size_t at = 0;
    for (auto _ : state) {
        for (int i = 0; i < kFrame / 8; ++i) {
            KEYING_RUN runs[2];
            benchmark::DoNotOptimize(keying_slicer_push(s, std::fabs(x[at]), runs));
            at = (at + 1) % x.size();
        }
    }
    keying_slicer_destroy(s);
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_SlicerFrame);

void BM_Transform512(benchmark::State& state)
{
    const std::vector<float> input = noise(1024);
    std::vector<float> f = input;
    for (auto _ : state) {
        f = input;  // keep the data from growing without bound
        fft::transform(f.data(), 512);
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_Transform512);

void BM_StfftHop(benchmark::State& state)
{
    STFFT s;
    s.init(4000, 512, kFrame, 3.0f);
    const std::vector<float> x = noise(kFrame);
    for (auto _ : state) {
        for (float v : x)
            s.push(v);
        benchmark::DoNotOptimize(s.column(0).data());
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_StfftHop);

void BM_ResampleFactor12(benchmark::State& state)
{
    Resampler r;
    const int block = 12 * kFrame;
    const std::vector<float> x = noise(block);
    std::vector<float> out(block);
    for (auto _ : state) {
        if (r.nSamplesTotal() > 48000 * 60)
            r.reset();  // as the engine does each minute
        benchmark::DoNotOptimize(r.resample(12.0f, block, x.data(), out.data()));
    }
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(BM_ResampleFactor12)->Unit(benchmark::kMicrosecond);

}  // namespace
