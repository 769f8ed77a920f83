// Cost of the tone analysers at the engine's sizes: 4000 Hz, 128-sample
// frames, a 512-point spectrum per frame and a 128-sample tone window.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "fft.h"
#include "goertzel_running_fir.h"
#include "resampler.h"
#include "stfft.h"

namespace {

constexpr int kFrame = 128;

std::vector<float> noise(int n)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = u(rng);
    return x;
}

void BM_GoertzelProcessFrame(benchmark::State& state)
{
    GoertzelRunningFIR g;
    g.init(4000.0f, 128, 3.0f);
    const std::vector<float> x = noise(kFrame);
    for (auto _ : state) {
        g.process(x.data(), kFrame, 600.0f);
        benchmark::DoNotOptimize(g.envelopeRing().data());
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_GoertzelProcessFrame);

void BM_GoertzelRecompute(benchmark::State& state)
{
    GoertzelRunningFIR g;
    g.init(4000.0f, 128, 3.0f);
    const std::vector<float> x = noise(12000);
    g.process(x.data(), 12000, 600.0f);
    float f = 600.0f;
    for (auto _ : state) {
        g.recompute(f);
        f = f == 600.0f ? 700.0f : 600.0f;
        benchmark::DoNotOptimize(g.envelopeRing().data());
    }
}
BENCHMARK(BM_GoertzelRecompute)->Unit(benchmark::kMicrosecond);

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
        for (float v : x) s.push(v);
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
        if (r.nSamplesTotal() > 48000 * 60) r.reset();  // as the engine does each minute
        benchmark::DoNotOptimize(r.resample(12.0f, block, x.data(), out.data()));
    }
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(BM_ResampleFactor12)->Unit(benchmark::kMicrosecond);

}  // namespace
