// zarvo-view-preview: renders the spectrum view and the tone trace view to
// PNG files from generated Morse audio, without a window, so that their
// drawing can be looked at. Exit status 0 on success, 1 when decoding or
// writing fails, 2 on bad options.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "CWRx.h"
#include "CWSpectrumView.h"
#include "CWToneTraceView.h"
#include "command_line.h"
#include "cw_tuner.h"
#include "morse_audio_generator.h"

namespace {

const char kProgram[] = "zarvo-view-preview";

const char kAbout[] = "Generates Morse audio, runs it through the CW receiver block by block as\n"
                      "the window's audio pipeline does, and writes what the two displays show\n"
                      "at the end as OUTPUT_FOLDER/spectrum.png and OUTPUT_FOLDER/tone-trace.png,\n"
                      "each at its size in the main window. The folder is created if missing.";

constexpr int kSpectrumHeight = 110;
constexpr int kToneTraceHeight = 75;
constexpr double kTraceIntervalSeconds = 0.05;
constexpr double kClockStartSeconds = 1.0;  // 0 means "never" to the throttles

struct PREVIEW_OPTIONS {
    std::string text = "CQ CQ DE ZR1ABC ZR1ABC K";
    double wpm = 22.0;
    double toneHz = 640.0;
    double pitchHz = 600.0;
    double carrierHz = 0.0;  // 0: none
    uint32_t rate = 48000;
    double snrDb = 20.0;
    bool noise = true;
    size_t block = 2048;
    double seconds = 0.0;  // 0: everything
    double width = 1220.0;
    double scale = 1.0;
    std::string folder;
    std::string infoText;  // --help or --version: print it and stop
};

// Parses the arguments after the program name; false with a one-line
// reason in *error.
bool parse_options(const std::vector<std::string>& args, PREVIEW_OPTIONS* o, std::string* error)
{
    CLI::App app{kAbout, kProgram};
    command_line_setup(app);
    app.add_option("OUTPUT_FOLDER", o->folder, "where the pictures go")->required();
    app.add_option("--text", o->text, "text to send")->type_name("TEXT")->capture_default_str();
    app.add_option("--wpm", o->wpm, "speed in words per minute, 5..80")
        ->type_name("N")
        ->check(command_line_number(5.0, 80.0))
        ->capture_default_str();
    app.add_option("--tone", o->toneHz, "pitch of the sent signal, 100..3000")
        ->type_name("HZ")
        ->check(command_line_number(100.0, 3000.0))
        ->capture_default_str();
    app.add_option("--pitch", o->pitchHz, "receiver pitch, the marked one, 300..1200")
        ->type_name("HZ")
        ->check(command_line_number(300.0, 1200.0))
        ->capture_default_str();
    app.add_option("--carrier", o->carrierHz, "add a steady carrier at HZ, amplitude 0.1, up to 3000 (0: none)")
        ->type_name("HZ")
        ->check(command_line_number(0.0, 3000.0));
    app.add_option("--rate", o->rate, "sample rate, 8000..192000")
        ->type_name("HZ")
        ->transform(command_line_whole(8000, 192000))
        ->capture_default_str();
    app.add_option("--snr", o->snrDb, "noise: key-down carrier over noise in 2500 Hz, -30..100")
        ->type_name("DB")
        ->check(command_line_number(-30.0, 100.0))
        ->capture_default_str();
    app.add_flag_callback(
        "--no-noise", [o] { o->noise = false; }, "no noise");
    app.add_option("--block", o->block, "samples per audio frame, 16..65536")
        ->type_name("N")
        ->transform(command_line_whole(16, 65536))
        ->capture_default_str();
    app.add_option("--seconds", o->seconds, "stop after S seconds of audio, up to 3600 (0: all of it)")
        ->type_name("S")
        ->check(command_line_number(0.0, 3600.0));
    app.add_option("--width", o->width, "window content width; the views are W - 40 wide, 200..8000")
        ->type_name("W")
        ->check(command_line_number(200.0, 8000.0))
        ->capture_default_str();
    app.add_option("--scale", o->scale, "pixels per point, 1 to 4, as on a high-density display")
        ->type_name("N")
        ->check(command_line_number(1.0, 4.0))
        ->capture_default_str();
    return command_line_parse(app, args, &o->infoText, error);
}

bool generate_audio(const PREVIEW_OPTIONS& options, std::vector<float>* samples, std::string* error)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = options.wpm;
    config.pitchHz = options.toneHz;
    config.sampleRateHz = options.rate;
    config.addNoise = options.noise;
    config.snrDb = options.snrDb;
    config.tailSeconds = 0.3;
    if (!morse_audio_generate(config, options.text, samples, nullptr, error))
        return false;
    if (options.carrierHz > 0.0) {
        const double step = 2.0 * std::numbers::pi * options.carrierHz / options.rate;
        for (size_t i = 0; i < samples->size(); ++i)
            (*samples)[i] += static_cast<float>(0.1 * std::sin(step * static_cast<double>(i)));
    }
    if (options.seconds > 0.0)
        samples->resize(std::min(samples->size(), static_cast<size_t>(options.seconds * options.rate)));
    return true;
}

double input_dbfs(float inputLevel)
{
    if (!(inputLevel > 0.0f))
        return -120.0;
    return std::clamp(20.0 * std::log10(static_cast<double>(inputLevel)), -120.0, 20.0);
}

// The audio pipeline's share of the displays: the spectrum gets every
// frame, the tone trace at most every 50 ms, both on the stream's time.
bool run_pipeline(const PREVIEW_OPTIONS& options, const std::vector<float>& samples, CWSpectrumView* spectrum,
                  CWToneTraceView* trace)
{
    CW_RX_CONFIG config = cw_rx_default_config();
    config.sampleRate = options.rate;
    config.pitchHz = options.pitchHz;
    config.bandwidthHz = 120.0;
    CW_RX* rx = cw_rx_create(&config);
    const CW_TUNER_CONFIG tuning{.autoGtm = 0, .rearmSeconds = 0.0, .findTone = 0};
    CW_TUNER* tuner = cw_tuner_create(&tuning);
    if (!rx || !tuner) {
        cw_rx_destroy(rx);
        cw_tuner_destroy(tuner);
        return false;
    }
    double now = kClockStartSeconds;
    double lastTrace = 0.0;
    char text[128];
    const size_t block = options.block;
    for (size_t at = 0; at < samples.size(); at += block) {
        const size_t n = std::min(block, samples.size() - at);
        now = kClockStartSeconds + static_cast<double>(at + n) / options.rate;
        cw_rx_configure(rx, &config);
        cw_rx_process(rx, samples.data() + at, n, text, sizeof text);
        CW_RX_STATUS status;
        cw_rx_get_status(rx, &status);
        CW_TUNER_RESULT tuned;
        cw_tuner_update(tuner, samples.data() + at, n, &config, &status, now, &tuned);
        if (tuned.spectrumUpdated) {
            CW_SPECTRUM_SNAPSHOT snapshot;
            cw_tuner_get_spectrum(tuner, &snapshot);
            spectrum->show(snapshot, cw_spectrum_figures_from_rx(config, status, input_dbfs(status.inputLevel)));
        }
        if (lastTrace <= 0.0 || now - lastTrace >= kTraceIntervalSeconds) {
            lastTrace = now;
            trace->updateWithStatus(status);
        }
    }
    cw_rx_destroy(rx);
    cw_tuner_destroy(tuner);
    return true;
}

bool render(QWidget* view, int width, int height, double scale, const QString& path)
{
    view->resize(width, height);
    QImage image(static_cast<int>(std::lround(width * scale)), static_cast<int>(std::lround(height * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    view->render(&image);
    return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv)
{
    PREVIEW_OPTIONS options;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, error.c_str());
        return 2;
    }
    if (!options.infoText.empty())
        return command_line_print(kProgram, options.infoText) ? 0 : 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<float> samples;
    if (!generate_audio(options, &samples, &error)) {
        std::fprintf(stderr, "zarvo-view-preview: %s\n", error.c_str());
        return 2;
    }
    const int width = static_cast<int>(options.width) - 40;
    CWSpectrumView spectrum;
    CWToneTraceView trace;
    spectrum.resize(width, kSpectrumHeight);
    trace.resize(width, kToneTraceHeight);
    if (!run_pipeline(options, samples, &spectrum, &trace)) {
        std::fprintf(stderr, "zarvo-view-preview: the CW receiver could not be created\n");
        return 1;
    }
    const QDir folder(QString::fromStdString(options.folder));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "zarvo-view-preview: cannot create %s\n", options.folder.c_str());
        return 1;
    }
    const QString spectrumPath = folder.filePath(QStringLiteral("spectrum.png"));
    const QString tracePath = folder.filePath(QStringLiteral("tone-trace.png"));
    if (!render(&spectrum, width, kSpectrumHeight, options.scale, spectrumPath) ||
        !render(&trace, width, kToneTraceHeight, options.scale, tracePath)) {
        std::fprintf(stderr, "zarvo-view-preview: cannot write the images to %s\n", options.folder.c_str());
        return 1;
    }
    std::printf("%s\n%s\n", qPrintable(spectrumPath), qPrintable(tracePath));
    const double peak = spectrum.spectrum().peakHz;
    std::printf("peak %.0f Hz, pitch %.0f Hz\n", peak > 0.0 ? peak : options.pitchHz, options.pitchHz);
    return command_line_flush_stdout(kProgram) ? 0 : 1;
}
