// Cost of the spectrum and tone trace views: one accepted spectrum (4096
// samples brought down to 4 kHz, the 341 left folded onto 800 and
// transformed), one block held back by the throttle, a tone trace update
// and, with Qt, painting each view at its size in the main window
// (1180 x 110 and 1180 x 75).
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "cw_spectrum_estimator.h"
#include "cw_tone_trace_history.h"

#ifdef ZARVO_BENCH_VIEWS_QT
#include <QApplication>
#include <QImage>

#include "CWSpectrumView.h"
#include "CWToneTraceView.h"
#endif

namespace {

constexpr double kRate = 48000.0;

std::vector<float> signal(size_t count)
{
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    std::vector<float> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * 640.0 * i / kRate)) + noise(rng);
    return x;
}

void BM_SpectrumAcceptedUpdate(benchmark::State& state)
{
    CW_SPECTRUM_ESTIMATOR* e = cw_spectrum_estimator_create();
    const std::vector<float> x = signal(kCWSpectrumFrameSize);
    double now = 1.0;
    cw_spectrum_estimator_process(e, x.data(), x.size(), kRate, 600.0, now);  // tables built outside the loop
    for (auto _ : state) {
        now += 1.0;
        benchmark::DoNotOptimize(cw_spectrum_estimator_process(e, x.data(), x.size(), kRate, 600.0, now));
    }
    cw_spectrum_estimator_destroy(e);
}
BENCHMARK(BM_SpectrumAcceptedUpdate)->Unit(benchmark::kMillisecond);

// A 1024-sample block, the common TCI frame, arriving within the 0.2 s.
void BM_SpectrumThrottledUpdate(benchmark::State& state)
{
    CW_SPECTRUM_ESTIMATOR* e = cw_spectrum_estimator_create();
    const std::vector<float> x = signal(1024);
    cw_spectrum_estimator_process(e, x.data(), x.size(), kRate, 600.0, 1.0);
    for (auto _ : state)
        benchmark::DoNotOptimize(cw_spectrum_estimator_process(e, x.data(), x.size(), kRate, 600.0, 1.01));
    cw_spectrum_estimator_destroy(e);
}
BENCHMARK(BM_SpectrumThrottledUpdate)->Unit(benchmark::kMicrosecond);

// A rate change: filter, window and coefficients built again, the frame refilled.
void BM_SpectrumRateChange(benchmark::State& state)
{
    CW_SPECTRUM_ESTIMATOR* e = cw_spectrum_estimator_create();
    const std::vector<float> x = signal(1024);
    double rate = 48000.0;
    for (auto _ : state) {
        rate = rate == 48000.0 ? 12000.0 : 48000.0;
        benchmark::DoNotOptimize(cw_spectrum_estimator_process(e, x.data(), x.size(), rate, 600.0, 1.0));
    }
    cw_spectrum_estimator_destroy(e);
}
BENCHMARK(BM_SpectrumRateChange)->Unit(benchmark::kMicrosecond);

void BM_ToneTraceUpdate(benchmark::State& state)
{
    CWToneTraceHistory history;
    float level = 0.0f;
    for (auto _ : state) {
        level = level > 1.0f ? 0.0f : level + 0.01f;
        history.update(level, 0.5f, level > 0.5f);
        benchmark::DoNotOptimize(history.head());
    }
}
BENCHMARK(BM_ToneTraceUpdate);

#ifdef ZARVO_BENCH_VIEWS_QT
QApplication& offscreen_app()
{
    static int argc = 1;
    static char name[] = "bench_views";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

void paint(benchmark::State& state, QWidget* view)
{
    QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PaintSpectrumView(benchmark::State& state)
{
    offscreen_app();
    CWSpectrumView view;
    view.resize(1180, 110);
    CW_SPECTRUM_ESTIMATOR* e = cw_spectrum_estimator_create();
    const std::vector<float> x = signal(kCWSpectrumFrameSize);
    for (int i = 0; i < 20; ++i)
        cw_spectrum_estimator_process(e, x.data(), x.size(), kRate, 600.0, 1.0 + i);
    CW_SPECTRUM_SNAPSHOT spectrum;
    cw_spectrum_estimator_get_snapshot(e, &spectrum);
    cw_spectrum_estimator_destroy(e);
    view.show(spectrum, cw_spectrum_initial_figures());
    paint(state, &view);
}
BENCHMARK(BM_PaintSpectrumView)->Unit(benchmark::kMillisecond);

void BM_PaintToneTraceView(benchmark::State& state)
{
    offscreen_app();
    CWToneTraceView view;
    view.resize(1180, 75);
    for (int i = 0; i < 400; ++i)
        view.updateWithLevel((i % 7) / 7.0f, 0.45f, (i / 5) % 2);
    paint(state, &view);
}
BENCHMARK(BM_PaintToneTraceView)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
