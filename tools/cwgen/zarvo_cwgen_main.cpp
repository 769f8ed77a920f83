// zarvo-cwgen: writes Morse code test audio to a WAV file: one text, or with
// --band a band segment of many stations and, on request, their figures.
// Exit status 0 on success, 1 when the file cannot be written, 2 on bad options.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "morse_audio_generator.h"
#include "morse_band_generator.h"
#include "wav_file.h"

namespace {

const char kProgram[] = "zarvo-cwgen";

const char kAbout[] = "Writes TEXT as Morse code audio to a mono WAV file (16-bit PCM, or 32-bit\n"
                      "float with --float). With --band it writes a band segment instead: many\n"
                      "stations calling CQ or answering, at their own pitches, speeds and levels.\n"
                      "Options take their value as the next argument or after '=' (--wpm=25).";

const char kBand[] = "Band";

// Keeps one file within 1 GiB of floats.
constexpr uint64_t kMaxSamples = uint64_t{1} << 28;

struct CWGEN_OPTIONS {
    MORSE_AUDIO_CONFIG config;
    std::string text;
    std::string output;
    bool floatSamples = false;
    bool band = false;
    MORSE_BAND_CONFIG bandConfig;
    double seconds = 0.0;
    std::string truth;     // file for the band's stations; empty for none
    std::string infoText;  // --help or --version: print it and stop
};

// "LO:HI" as two finite numbers, lowest first.
bool parse_span(const std::string& text, double* lo, double* hi)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string a = text.substr(0, colon), b = text.substr(colon + 1);
    char* end = nullptr;
    const double x = std::strtod(a.c_str(), &end);
    if (a.empty() || *end != '\0')
        return false;
    const double y = std::strtod(b.c_str(), &end);
    if (b.empty() || *end != '\0' || !std::isfinite(x) || !std::isfinite(y) || x > y)
        return false;
    *lo = x;
    *hi = y;
    return true;
}

// Band options given without --band, or single-text ones with it: the
// first such option, or null.
const CLI::Option* misplaced(const std::vector<CLI::Option*>& options)
{
    for (const CLI::Option* option : options)
        if (option->count() > 0)
            return option;
    return nullptr;
}

// Parses the arguments after the program name; false with a one-line
// reason in *error.
bool parse_options(const std::vector<std::string>& args, CWGEN_OPTIONS* options, std::string* error)
{
    MORSE_AUDIO_CONFIG& c = options->config;
    c = morse_audio_default_config();
    MORSE_BAND_CONFIG& band = options->bandConfig;
    band = morse_band_default_config();
    const CLI::Validator number = command_line_number();
    CLI::App app{kAbout, kProgram};
    command_line_setup(app);
    const auto add_number = [&](const char* name, double* value, const char* help, const char* unit) {
        return app.add_option(name, *value, help)->type_name(unit)->check(number);
    };
    CLI::Option* text = app.add_option("--text", options->text,
                                       "letters, digits and . , ? ' ! / ( ) & : ; = + - _ \" $ @; "
                                       "prosigns in angle brackets (<AR> <SK> <BT> <KN>) are sent "
                                       "without inner gaps; other characters are skipped with a warning "
                                       "(required without --band)")
                            ->type_name("TEXT");
    CLI::Option* wpm = add_number("--wpm", &c.wpm,
                                  "character speed in words per minute (PARIS timing) (required without --band)", "N");
    CLI::Option* farnsworth =
        add_number("--farnsworth", &c.farnsworthWpm, "overall speed in WPM, at most --wpm; stretches the gaps", "N");
    CLI::Option* pitch = add_number("--pitch", &c.pitchHz, "tone frequency (required without --band)", "HZ");
    app.add_option("--rate", c.sampleRateHz, "sample rate")
        ->type_name("HZ")
        ->transform(command_line_whole(0, UINT32_MAX))
        ->required();
    CLI::Option* amplitude = add_number("--amplitude", &c.amplitude, "tone peak, full scale 1", "A");
    amplitude->capture_default_str();
    CLI::Option* rise = add_number("--rise", &c.riseMs, "raised-cosine rise and fall time", "MS");
    rise->capture_default_str();
    CLI::Option* snr = add_number("--snr", &c.snrDb, "add white noise: key-down carrier over noise in 2500 Hz", "DB");
    CLI::Option* jitter = add_number("--jitter", &c.jitterPercent, "random spread of every element and gap", "PCT");
    jitter->capture_default_str();
    app.add_option("--seed", c.seed, "seed for jitter, noise, fading and crashes")
        ->type_name("N")
        ->transform(command_line_whole(0, UINT32_MAX))
        ->capture_default_str();
    CLI::Option* lead = add_number("--lead", &c.leadSeconds, "silence before the text in seconds", "S");
    lead->capture_default_str();
    CLI::Option* tail = add_number("--tail", &c.tailSeconds, "silence after the text in seconds", "S");
    tail->capture_default_str();
    CLI::Option* dahRatio = add_number("--dah-ratio", &c.dahRatio, "dash length in dots, 2 to 5", "R");
    dahRatio->capture_default_str();
    const auto set_channel = [&c](const std::string& name) {
        if (!morse_audio_parse_channel(name, &c.channel))
            throw CLI::ValidationError("--channel", "needs none, good, moderate, poor or flutter, not '" + name + "'");
    };
    CLI::Option* channel =
        app.add_option_function<std::string>("--channel", set_channel,
                                             "CCIR 520 two-path fading: good, moderate, poor, flutter or none")
            ->type_name("NAME")
            ->default_str("none");
    CLI::Option* qsbDepth = add_number("--qsb-depth", &c.qsbDepthDb, "slow fading, peak to trough, 0 for off", "DB");
    qsbDepth->capture_default_str();
    CLI::Option* qsbPeriod = add_number("--qsb-period", &c.qsbPeriodSeconds, "period of that fading", "S");
    qsbPeriod->capture_default_str();
    CLI::Option* drift = add_number("--drift", &c.driftHz, "pitch change from the first to the last sample", "HZ");
    drift->capture_default_str();
    CLI::Option* qrn = add_number("--qrn", &c.qrnRate, "static crashes per second, 0 for none", "RATE");
    qrn->capture_default_str();
    CLI::Option* qrmOffset =
        add_number("--qrm-offset", &c.qrmOffsetHz, "a second station this far from --pitch (needs --qrm-level)", "HZ");
    CLI::Option* qrmLevel =
        add_number("--qrm-level", &c.qrmLevelDb, "its power relative to the wanted signal (needs --qrm-offset)", "DB");
    app.add_flag("--float", options->floatSamples, "write 32-bit float samples");
    app.add_option("-o,--output", options->output, "output file, replaced atomically; - for standard output")
        ->type_name("FILE.wav")
        ->required();

    CLI::Option* stations = app.add_option("--band", band.stationCount, "write a band of N stations instead of TEXT")
                                ->type_name("N")
                                ->transform(command_line_whole(0, 1000))
                                ->group(kBand);
    CLI::Option* seconds = app.add_option("--seconds", options->seconds, "length of the band (required with --band)")
                               ->type_name("S")
                               ->check(command_line_number(0.001, 3600.0))
                               ->group(kBand);
    bool iqOutput = false;
    CLI::Option* iq =
        app.add_flag("--iq", iqOutput, "complex IQ around a centre: a stereo WAV, I left and Q right")->group(kBand);
    std::string spanText;
    CLI::Option* span = app.add_option("--span", spanText,
                                       "carriers spread over LO..HI Hz; with --iq offsets from the centre "
                                       "(default 300:2800, with --iq 0.47 of the rate either side)")
                            ->type_name("LO:HI")
                            ->group(kBand);
    CLI::Option* spacing = add_number("--spacing", &band.minSpacingHz, "least distance between carriers", "HZ")
                               ->capture_default_str()
                               ->group(kBand);
    CLI::Option* truth = app.add_option("--truth", options->truth,
                                        "write the stations, one a line: call, frequency in Hz, WPM, SNR in dB "
                                        "and the second its first CQ begins")
                             ->type_name("FILE")
                             ->check(command_line_not_empty())
                             ->group(kBand);

    if (!command_line_parse(app, args, &options->infoText, error))
        return false;
    if (!options->infoText.empty())
        return true;
    options->band = stations->count() > 0;
    const CLI::Option* wrong =
        options->band ? misplaced({text, wpm, farnsworth, pitch, amplitude, rise, snr, jitter, lead, tail, dahRatio,
                                   channel, qsbDepth, qsbPeriod, drift, qrn, qrmOffset, qrmLevel})
                      : misplaced({seconds, iq, span, spacing, truth});
    if (wrong) {
        *error = wrong->get_name() + (options->band ? " does not apply to --band" : " needs --band");
        return false;
    }
    if (options->band) {
        if (seconds->count() == 0) {
            *error = "--seconds is required with --band";
            return false;
        }
        band.sampleRateHz = c.sampleRateHz;
        band.seed = c.seed;
        if (iq->count() > 0) {
            band.output = MORSE_BAND_IQ;
            band.highHz = 0.46875 * c.sampleRateHz;  // 45000 Hz at 96000 Hz
            band.lowHz = -band.highHz;
        }
        if (span->count() > 0 && !parse_span(spanText, &band.lowHz, &band.highHz)) {
            *error = "--span needs LO:HI, two numbers lowest first, not '" + spanText + "'";
            return false;
        }
        return morse_band_check_config(band, error);
    }
    for (const CLI::Option* needed : {text, wpm, pitch}) {
        if (needed->count() == 0) {
            *error = needed->get_name() + " is required";
            return false;
        }
    }
    // Neither has a sensible default: an interferer on the wanted pitch, or at an arbitrary level.
    if ((qrmOffset->count() > 0) != (qrmLevel->count() > 0)) {
        *error = "--qrm-offset and --qrm-level go together";
        return false;
    }
    c.addNoise = snr->count() > 0;
    c.qrmEnabled = qrmOffset->count() > 0;
    return true;
}

bool has_key_down(const std::vector<MORSE_KEYING>& timeline)
{
    return std::any_of(timeline.begin(), timeline.end(), [](const MORSE_KEYING& k) { return k.keyDown; });
}

int usage_error(const std::string& error)
{
    std::fprintf(stderr, "zarvo-cwgen: %s (see --help)\n", error.c_str());
    return 2;
}

// The band rendered in one go, and its stations as they stand at the end.
bool render_band(const CWGEN_OPTIONS& options, std::vector<float>* samples, std::string* truth, std::string* error)
{
    const MORSE_BAND_CONFIG& c = options.bandConfig;
    const size_t channels = c.output == MORSE_BAND_IQ ? 2 : 1;
    const uint64_t frames = static_cast<uint64_t>(std::llround(options.seconds * c.sampleRateHz));
    if (frames * channels > kMaxSamples) {
        *error = "the band would be longer than " + std::to_string(kMaxSamples) + " samples";
        return false;
    }
    MORSE_BAND* band = morse_band_create(c);
    if (!band) {
        *error = "cannot create the band";
        return false;
    }
    samples->assign(frames * channels, 0.0f);
    morse_band_render(band, samples->data(), frames);
    for (size_t i = 0; i < morse_band_station_count(band); ++i) {
        MORSE_BAND_STATION s;
        if (!morse_band_get_station(band, i, &s))
            continue;
        char line[128];
        std::snprintf(line, sizeof line, "%s %.1f %.1f %.1f %.3f\n", s.call, s.frequencyHz, s.wpm, s.snrDb,
                      s.firstCqSeconds);
        *truth += line;
    }
    morse_band_destroy(band);
    return true;
}

bool write_text(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    CWGEN_OPTIONS options;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error))
        return usage_error(error);
    if (!options.infoText.empty())
        return command_line_print(kProgram, options.infoText) ? 0 : 1;

    std::vector<float> samples;
    uint16_t channels = 1;
    std::string truth;
    if (options.band) {
        if (!render_band(options, &samples, &truth, &error))
            return usage_error(error);
        channels = options.bandConfig.output == MORSE_BAND_IQ ? 2 : 1;
    } else {
        std::vector<MORSE_KEYING> timeline;
        std::string skipped;
        if (!morse_audio_timeline(options.config, options.text, &timeline, &skipped, &error))
            return usage_error(error);
        if (!has_key_down(timeline))
            return usage_error("the text has no characters that can be sent");
        if (!skipped.empty())
            std::fprintf(stderr, "zarvo-cwgen: warning: skipped characters that cannot be sent: \"%s\"\n",
                         skipped.c_str());
        if (!morse_audio_generate(options.config, options.text, &samples, nullptr, &error))
            return usage_error(error);
    }
    std::vector<uint8_t> image;
    const WAV_ENCODING encoding = options.floatSamples ? WAV_ENCODING_FLOAT32 : WAV_ENCODING_PCM16;
    if (!wav_build_image(samples.data(), samples.size(), channels, options.config.sampleRateHz, encoding, &image,
                         &error))
        return usage_error(error);
    if (!options.truth.empty() && !write_text(options.truth, truth)) {
        std::fprintf(stderr, "zarvo-cwgen: cannot write %s: %s\n", options.truth.c_str(), std::strerror(errno));
        return 1;
    }
    // "-" streams the image to standard output, for pipes into zarvo-decode.
    if (options.output == "-") {
        if (std::fwrite(image.data(), 1, image.size(), stdout) != image.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "zarvo-cwgen: cannot write to standard output: %s\n", std::strerror(errno));
            return 1;
        }
        return 0;
    }
    if (!wav_write_file(options.output, image, &error)) {
        std::fprintf(stderr, "zarvo-cwgen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
