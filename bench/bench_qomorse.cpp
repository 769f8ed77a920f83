// Morse engine speed: whole decodes and single frames.
#include "morse_audio_generator.h"
#include "qomorse.h"
#include "qomorse_impl.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 4000;

// About a minute of CW at 20 WPM over +10 dB noise.
const std::vector<float>& minute_of_cw()
{
    static const std::vector<float> samples = [] {
        MORSE_AUDIO_CONFIG config = morse_audio_default_config();
        config.sampleRateHz = kRate;
        config.pitchHz = 700;
        config.addNoise = true;
        config.snrDb = 10.0;
        config.leadSeconds = 1.0;
        const std::string over = "CQ CQ DE ZR1ABC ZR1ABC PSE K ZR2XYZ DE ZR1ABC GM UR RST 599 599 NAME ALEX QTH ";
        std::vector<float> out;
        std::string text;
        while (out.size() < 60 * kRate) {
            text += over;
            morse_audio_generate(config, text, &out, nullptr, nullptr);
        }
        out.resize(60 * kRate);
        return out;
    }();
    return samples;
}

void decode_all(QoMorse& engine, const std::vector<float>& samples)
{
    size_t next = 0;
    engine.decode([&](void* dst, uint32_t nBytes) -> uint32_t {
        const size_t n = nBytes / sizeof(float);
        if (samples.size() - next < n)
            return 0;
        std::memcpy(dst, samples.data() + next, nBytes);
        next += n;
        return nBytes;
    });
}

// Decodes 60 s of audio with pitch and speed search on; reports how many
// times faster than real time.
void BM_DecodeMinuteWithSearch(benchmark::State& state)
{
    const std::vector<float>& samples = minute_of_cw();
    for (auto _ : state) {
        QoMorse engine(QoMorse::getDefaultParameters());
        decode_all(engine, samples);
        benchmark::DoNotOptimize(engine.getRxData().data());
    }
    const double audioSeconds = static_cast<double>(samples.size()) / kRate;
    state.counters["realtime_x"] =
        benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeMinuteWithSearch)->Unit(benchmark::kMillisecond);

// The engine per 4 kHz second: one running engine (pitch and speed search
// on) decodes the minute a second at a time; realtime_x is seconds of audio
// per second of CPU.
void BM_EnginePerSecond(benchmark::State& state)
{
    const std::vector<float>& samples = minute_of_cw();
    QoMorse engine(QoMorse::getDefaultParameters());
    std::vector<uint8_t> text;
    size_t at = 0;
    for (auto _ : state) {
        if (at + kRate > samples.size())
            at = 0;
        size_t next = at;
        const size_t end = at + kRate;
        engine.decode([&](void* dst, uint32_t nBytes) -> uint32_t {
            const size_t n = nBytes / sizeof(float);
            if (end - next < n)
                return 0;
            std::memcpy(dst, samples.data() + next, nBytes);
            next += n;
            return nBytes;
        });
        at = end;
        engine.takeRxData(text);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EnginePerSecond)->Unit(benchmark::kMicrosecond);

// An engine restart: reset() of a used engine, against building a new one.
void BM_EngineReset(benchmark::State& state)
{
    const std::vector<float>& samples = minute_of_cw();
    QoMorse engine(QoMorse::getDefaultParameters());
    const std::vector<float> tenSeconds(samples.begin(), samples.begin() + 10 * kRate);
    decode_all(engine, tenSeconds);
    for (auto _ : state) {
        engine.reset();
        benchmark::DoNotOptimize(engine.getRxData().data());
    }
}
BENCHMARK(BM_EngineReset)->Unit(benchmark::kMicrosecond);

void BM_EngineNew(benchmark::State& state)
{
    for (auto _ : state) {
        QoMorse engine(QoMorse::getDefaultParameters());
        benchmark::DoNotOptimize(engine.getRxData().data());
    }
}
BENCHMARK(BM_EngineNew)->Unit(benchmark::kMicrosecond);

// One symbol-decoder frame with a full three-second history.
void BM_SymbolDecoderFrame(benchmark::State& state)
{
    const std::vector<float>& samples = minute_of_cw();
    QoMorse::Impl impl(QoMorse::getDefaultParameters());
    std::vector<float> frame(128);
    size_t at = 0;
    const auto next_frame = [&] {
        if (at + 128 > samples.size())
            at = 0;
        std::memcpy(frame.data(), samples.data() + at, 128 * sizeof(float));
        at += 128;
    };
    for (int i = 0; i < 200; ++i) {
        next_frame();
        impl.decodeFrame(frame.data());
    }
    for (auto _ : state) {
        next_frame();  // a 512-byte copy, negligible beside the frame
        impl.decodeFrame(frame.data());
        impl.thresholdF.clear();
    }
}
BENCHMARK(BM_SymbolDecoderFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
