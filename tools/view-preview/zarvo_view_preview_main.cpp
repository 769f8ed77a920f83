// zarvo-view-preview: renders the spectrum view and the tone trace view to
// PNG files from generated Morse audio, without a window, so that their
// drawing can be looked at. Exit status 0 on success, 1 when decoding or
// writing fails, 2 on bad options.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QWidget>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "CWRx.h"
#include "CWSpectrumView.h"
#include "CWToneTraceView.h"
#include "cw_tuner.h"
#include "morse_audio_generator.h"

namespace {

const char kUsage[] =
    "usage: zarvo-view-preview [options] OUTPUT_FOLDER\n"
    "\n"
    "Generates Morse audio, runs it through the CW receiver block by block as\n"
    "the window's audio pipeline does, and writes what the two displays show\n"
    "at the end as OUTPUT_FOLDER/spectrum.png and OUTPUT_FOLDER/tone-trace.png,\n"
    "each at its size in the main window. The folder is created if missing.\n"
    "\n"
    "  --text TEXT      text to send (default \"CQ CQ DE ZR1ABC ZR1ABC K\")\n"
    "  --wpm N          speed in words per minute (default 22)\n"
    "  --tone HZ        pitch of the sent signal (default 640)\n"
    "  --pitch HZ       receiver pitch, the marked one (default 600)\n"
    "  --carrier HZ     add a steady carrier at HZ, amplitude 0.1 (default none)\n"
    "  --rate HZ        sample rate (default 48000)\n"
    "  --snr DB         noise: key-down carrier over noise in 2500 Hz (default 20)\n"
    "  --no-noise       no noise\n"
    "  --block N        samples per audio frame (default 2048)\n"
    "  --seconds S      stop after S seconds of audio (default: all of it)\n"
    "  --width W        window content width; the views are W - 40 wide (default 1220)\n"
    "  --scale N        pixels per point, 1 to 4, as on a high-density display (default 1)\n"
    "  -h, --help       show this text\n";

constexpr int kSpectrumHeight = 110;
constexpr int kToneTraceHeight = 75;
constexpr double kTraceIntervalSeconds = 0.05;
constexpr double kClockStartSeconds = 1.0;  // 0 means "never" to the throttles

struct PREVIEW_OPTIONS {
    std::string text = "CQ CQ DE ZR1ABC ZR1ABC K";
    double wpm = 22.0;
    double toneHz = 640.0;
    double pitchHz = 600.0;
    double carrierHz = 0.0;
    double rate = 48000.0;
    double snrDb = 20.0;
    bool noise = true;
    double block = 2048.0;
    double seconds = 0.0;  // 0: everything
    double width = 1220.0;
    double scale = 1.0;
    std::string folder;
    bool help = false;
};

struct NUMBER_OPTION {
    const char* name;
    double PREVIEW_OPTIONS::*field;
    double min;
    double max;
};

constexpr NUMBER_OPTION kNumberOptions[] = {
    {"--wpm", &PREVIEW_OPTIONS::wpm, 5.0, 80.0},          {"--tone", &PREVIEW_OPTIONS::toneHz, 100.0, 3000.0},
    {"--pitch", &PREVIEW_OPTIONS::pitchHz, 300.0, 1200.0}, {"--carrier", &PREVIEW_OPTIONS::carrierHz, 0.0, 3000.0},
    {"--rate", &PREVIEW_OPTIONS::rate, 8000.0, 192000.0}, {"--snr", &PREVIEW_OPTIONS::snrDb, -30.0, 100.0},
    {"--block", &PREVIEW_OPTIONS::block, 16.0, 65536.0},  {"--seconds", &PREVIEW_OPTIONS::seconds, 0.0, 3600.0},
    {"--width", &PREVIEW_OPTIONS::width, 200.0, 8000.0},    {"--scale", &PREVIEW_OPTIONS::scale, 1.0, 4.0},
};

bool parse_double(const std::string& text, double* value)
{
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && stop == end && std::isfinite(*value);
}

bool set_number(PREVIEW_OPTIONS* options, const NUMBER_OPTION& option, const std::string& value, std::string* error)
{
    double v = 0.0;
    if (!parse_double(value, &v) || v < option.min || v > option.max) {
        char range[64];
        std::snprintf(range, sizeof range, " (%g..%g)", option.min, option.max);
        *error = "invalid value '" + value + "' for " + option.name + range;
        return false;
    }
    options->*option.field = v;
    return true;
}

bool take_value(int argc, char** argv, int* i, std::string* value, std::string* error)
{
    if (*i + 1 >= argc) {
        *error = std::string("missing value for ") + argv[*i];
        return false;
    }
    *value = argv[++*i];
    return true;
}

bool parse_options(int argc, char** argv, PREVIEW_OPTIONS* options, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        const NUMBER_OPTION* number = nullptr;
        for (const NUMBER_OPTION& o : kNumberOptions)
            if (arg == o.name) number = &o;
        if (arg == "-h" || arg == "--help") {
            options->help = true;
        } else if (arg == "--no-noise") {
            options->noise = false;
        } else if (number || arg == "--text") {
            if (!take_value(argc, argv, &i, &value, error)) return false;
            if (number && !set_number(options, *number, value, error)) return false;
            if (!number) options->text = value;
        } else if (!arg.empty() && arg[0] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (options->folder.empty()) {
            options->folder = arg;
        } else {
            *error = "more than one output folder given";
            return false;
        }
    }
    if (!options->help && options->folder.empty()) {
        *error = "no output folder given";
        return false;
    }
    return true;
}

bool generate_audio(const PREVIEW_OPTIONS& options, std::vector<float>* samples, std::string* error)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = options.wpm;
    config.pitchHz = options.toneHz;
    config.sampleRateHz = static_cast<uint32_t>(options.rate);
    config.addNoise = options.noise;
    config.snrDb = options.snrDb;
    config.tailSeconds = 0.3;
    if (!morse_audio_generate(config, options.text, samples, nullptr, error)) return false;
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
    if (!(inputLevel > 0.0f)) return -120.0;
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
    const size_t block = static_cast<size_t>(options.block);
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
    if (!parse_options(argc, argv, &options, &error)) {
        std::fprintf(stderr, "zarvo-view-preview: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
    return 0;
}
