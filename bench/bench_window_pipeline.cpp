// One receive-audio frame through the window controller, everything but
// painting: 48000 Hz, 2048-sample frames of keyed CW with noise, handed
// over as the TCI client would. The views run on the offscreen platform.
#include "CWQSettingsStore.h"
#include "CWWindowController.h"
#include "TCIStreamInfo.h"
#include "morse_audio_generator.h"
#include "tci_stream_frame.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kRate = 48000;
constexpr size_t kFrame = 2048;

std::vector<std::vector<uint8_t>> keyed_frames()
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.sampleRateHz = kRate;
    config.wpm = 25.0;
    config.addNoise = true;
    config.snrDb = 15.0;
    std::vector<float> audio;
    morse_audio_generate(config, "CQ CQ DE DL1ABC DL1ABC K", &audio, nullptr, nullptr);
    std::vector<std::vector<uint8_t>> frames;
    const TCI_STREAM_FRAME_HEADER header{0, kRate, TCI_SAMPLE_FLOAT32, 0, 0, 0, kTCIStreamTypeRxAudio, 1};
    for (size_t i = 0; i + kFrame <= audio.size(); i += kFrame) {
        frames.emplace_back();
        tci_build_stream_frame(header, audio.data() + i, kFrame, &frames.back());
    }
    return frames;
}

struct PIPELINE_RIG {
    PIPELINE_RIG()
        : settings(folder.filePath("bench.ini"), QSettings::IniFormat), store(settings),
          controller(store, CW_WINDOW_ENVIRONMENT{folder.filePath("Documents"), {}, folder.filePath("Desktop"), {}}),
          frames(keyed_frames())
    {
    }
    void deliver(const std::vector<uint8_t>& frame)
    {
        const TCIStreamInfo info = parseStreamInfoFromData(frame.data(), frame.size());
        controller.tciClientDidReceiveBinaryMessageWithLength(nullptr, frame.size(), info);
        controller.tciClientDidReceiveRxAudioFrameData(nullptr, frame.data(), frame.size(), info);
    }
    QTemporaryDir folder;
    QSettings settings;
    CWQSettingsStore store;
    CWWindowController controller;
    std::vector<std::vector<uint8_t>> frames;
};

// Frames at full speed: the mean cost of one frame's work.
void BM_WindowFrame48k(benchmark::State& state)
{
    PIPELINE_RIG rig;
    size_t next = 0;
    double worst = 0.0;
    double first = -1.0;  // sizes the capture ring and the spectrum tables
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        rig.deliver(rig.frames[next]);
        const double spent =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        if (first < 0.0)
            first = spent;
        else
            worst = std::max(worst, spent);
        next = (next + 1) % rig.frames.size();
    }
    state.counters["first_us"] = first;
    state.counters["worst_us"] = worst;
}
BENCHMARK(BM_WindowFrame48k)->Unit(benchmark::kMicrosecond);

// Frames at the stream's own pace, so the wall-clock throttles (spectrum,
// trace, status line) fire as often as they do live; reports the worst.
void BM_WindowFrame48kPaced(benchmark::State& state)
{
    PIPELINE_RIG rig;
    size_t next = 0;
    double worst = 0.0;
    const auto period = std::chrono::microseconds(kFrame * 1000000 / kRate);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        rig.deliver(rig.frames[next]);
        const auto spent = std::chrono::steady_clock::now() - start;
        worst = std::max(worst, std::chrono::duration<double, std::micro>(spent).count());
        state.SetIterationTime(std::chrono::duration<double>(spent).count());
        next = (next + 1) % rig.frames.size();
        const auto rest = std::chrono::duration_cast<std::chrono::microseconds>(period - spent).count();
        QThread::usleep(static_cast<unsigned long>(std::max<long long>(rest, 0)));
    }
    state.counters["worst_us"] = worst;
}
BENCHMARK(BM_WindowFrame48kPaced)->UseManualTime()->Iterations(240)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
