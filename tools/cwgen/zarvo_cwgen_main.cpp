// zarvo-cwgen: writes Morse code test audio to a WAV file.
// Exit status 0 on success, 1 when the file cannot be written, 2 on bad options.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "morse_audio_generator.h"
#include "wav_file.h"

namespace {

const char kProgram[] = "zarvo-cwgen";

const char kAbout[] = "Writes TEXT as Morse code audio to a mono WAV file (16-bit PCM, or 32-bit\n"
                      "float with --float). Options take their value as the next argument or\n"
                      "after '=' (--wpm=25).";

struct CWGEN_OPTIONS {
    MORSE_AUDIO_CONFIG config;
    std::string text;
    std::string output;
    bool floatSamples = false;
    std::string infoText;  // --help or --version: print it and stop
};

// Parses the arguments after the program name; false with a one-line
// reason in *error.
bool parse_options(const std::vector<std::string>& args, CWGEN_OPTIONS* options, std::string* error)
{
    MORSE_AUDIO_CONFIG& c = options->config;
    c = morse_audio_default_config();
    const CLI::Validator number = command_line_number();
    CLI::App app{kAbout, kProgram};
    command_line_setup(app);
    const auto add_number = [&](const char* name, double* value, const char* help, const char* unit) {
        return app.add_option(name, *value, help)->type_name(unit)->check(number);
    };
    app.add_option("--text", options->text,
                   "letters, digits and . , ? ' ! / ( ) & : ; = + - _ \" $ @; "
                   "prosigns in angle brackets (<AR> <SK> <BT> <KN>) are sent "
                   "without inner gaps; other characters are skipped with a warning")
        ->type_name("TEXT")
        ->required();
    add_number("--wpm", &c.wpm, "character speed in words per minute (PARIS timing)", "N")->required();
    add_number("--farnsworth", &c.farnsworthWpm, "overall speed in WPM, at most --wpm; stretches the gaps", "N");
    add_number("--pitch", &c.pitchHz, "tone frequency", "HZ")->required();
    app.add_option("--rate", c.sampleRateHz, "sample rate")
        ->type_name("HZ")
        ->transform(command_line_whole(0, UINT32_MAX))
        ->required();
    add_number("--amplitude", &c.amplitude, "tone peak, full scale 1", "A")->capture_default_str();
    add_number("--rise", &c.riseMs, "raised-cosine rise and fall time", "MS")->capture_default_str();
    const CLI::Option* snr =
        add_number("--snr", &c.snrDb, "add white noise: key-down carrier over noise in 2500 Hz", "DB");
    add_number("--jitter", &c.jitterPercent, "random spread of every element and gap", "PCT")->capture_default_str();
    app.add_option("--seed", c.seed, "seed for jitter, noise, fading and crashes")
        ->type_name("N")
        ->transform(command_line_whole(0, UINT32_MAX))
        ->capture_default_str();
    add_number("--lead", &c.leadSeconds, "silence before the text in seconds", "S")->capture_default_str();
    add_number("--tail", &c.tailSeconds, "silence after the text in seconds", "S")->capture_default_str();
    add_number("--dah-ratio", &c.dahRatio, "dash length in dots, 2 to 5", "R")->capture_default_str();
    const auto set_channel = [&c](const std::string& name) {
        if (!morse_audio_parse_channel(name, &c.channel))
            throw CLI::ValidationError("--channel", "needs none, good, moderate, poor or flutter, not '" + name + "'");
    };
    app.add_option_function<std::string>("--channel", set_channel,
                                         "CCIR 520 two-path fading: good, moderate, poor, flutter or none")
        ->type_name("NAME")
        ->default_str("none");
    add_number("--qsb-depth", &c.qsbDepthDb, "slow fading, peak to trough, 0 for off", "DB")->capture_default_str();
    add_number("--qsb-period", &c.qsbPeriodSeconds, "period of that fading", "S")->capture_default_str();
    add_number("--drift", &c.driftHz, "pitch change from the first to the last sample", "HZ")->capture_default_str();
    add_number("--qrn", &c.qrnRate, "static crashes per second, 0 for none", "RATE")->capture_default_str();
    CLI::Option* qrmOffset =
        add_number("--qrm-offset", &c.qrmOffsetHz, "a second station this far from --pitch (needs --qrm-level)", "HZ");
    CLI::Option* qrmLevel =
        add_number("--qrm-level", &c.qrmLevelDb, "its power relative to the wanted signal (needs --qrm-offset)", "DB");
    app.add_flag("--float", options->floatSamples, "write 32-bit float samples");
    app.add_option("-o,--output", options->output, "output file, replaced atomically; - for standard output")
        ->type_name("FILE.wav")
        ->required();

    if (!command_line_parse(app, args, &options->infoText, error))
        return false;
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

}  // namespace

int main(int argc, char** argv)
{
    CWGEN_OPTIONS options;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error))
        return usage_error(error);
    if (!options.infoText.empty())
        return command_line_print(kProgram, options.infoText) ? 0 : 1;

    std::vector<MORSE_KEYING> timeline;
    std::string skipped;
    if (!morse_audio_timeline(options.config, options.text, &timeline, &skipped, &error))
        return usage_error(error);
    if (!has_key_down(timeline))
        return usage_error("the text has no characters that can be sent");
    if (!skipped.empty())
        std::fprintf(stderr, "zarvo-cwgen: warning: skipped characters that cannot be sent: \"%s\"\n", skipped.c_str());

    std::vector<float> samples;
    std::vector<uint8_t> image;
    const WAV_ENCODING encoding = options.floatSamples ? WAV_ENCODING_FLOAT32 : WAV_ENCODING_PCM16;
    if (!morse_audio_generate(options.config, options.text, &samples, nullptr, &error) ||
        !wav_build_image(samples.data(), samples.size(), 1, options.config.sampleRateHz, encoding, &image, &error))
        return usage_error(error);
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
