// zarvo-cwgen: writes Morse code test audio to a WAV file.
// Exit status 0 on success, 1 when the file cannot be written, 2 on bad options.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "morse_audio_generator.h"
#include "wav_file.h"

namespace {

const char kUsage[] =
    "usage: zarvo-cwgen --text TEXT --wpm N [--farnsworth N] --pitch HZ --rate HZ\n"
    "                   [--amplitude A] [--rise MS] [--snr DB] [--jitter PCT] [--seed N]\n"
    "                   [--lead S] [--tail S] [--dah-ratio R] [--channel NAME]\n"
    "                   [--qsb-depth DB] [--qsb-period S] [--drift HZ] [--qrn RATE]\n"
    "                   [--qrm-offset HZ --qrm-level DB] [--float] -o FILE.wav\n"
    "\n"
    "Writes TEXT as Morse code audio to a mono WAV file (16-bit PCM, or 32-bit\n"
    "float with --float). Options take their value as the next argument or\n"
    "after '=' (--wpm=25).\n"
    "\n"
    "  --text TEXT       letters, digits and . , ? ' ! / ( ) & : ; = + - _ \" $ @;\n"
    "                    prosigns in angle brackets (<AR> <SK> <BT> <KN>) are sent\n"
    "                    without inner gaps; other characters are skipped with a warning\n"
    "  --wpm N           character speed in words per minute (PARIS timing)\n"
    "  --farnsworth N    overall speed in WPM, at most --wpm; stretches the gaps\n"
    "  --pitch HZ        tone frequency\n"
    "  --rate HZ         sample rate\n"
    "  --amplitude A     tone peak, full scale 1 (default 0.5)\n"
    "  --rise MS         raised-cosine rise and fall time (default 5)\n"
    "  --snr DB          add white noise: key-down carrier over noise in 2500 Hz\n"
    "  --jitter PCT      random spread of every element and gap (default 0)\n"
    "  --seed N          seed for jitter, noise, fading and crashes (default 1)\n"
    "  --lead S          silence before the text in seconds (default 0.5)\n"
    "  --tail S          silence after the text in seconds (default 0.5)\n"
    "  --dah-ratio R     dash length in dots, 2 to 5 (default 3)\n"
    "  --channel NAME    CCIR 520 two-path fading: good, moderate, poor, flutter\n"
    "                    or none (default)\n"
    "  --qsb-depth DB    slow fading, peak to trough (default 0, off)\n"
    "  --qsb-period S    period of that fading (default 6)\n"
    "  --drift HZ        pitch change from the first to the last sample (default 0)\n"
    "  --qrn RATE        static crashes per second (default 0, off)\n"
    "  --qrm-offset HZ   a second station this far from --pitch (needs --qrm-level)\n"
    "  --qrm-level DB    its power relative to the wanted signal (needs --qrm-offset)\n"
    "  --float           write 32-bit float samples\n"
    "  -o FILE.wav       output file, replaced atomically\n"
    "  -h, --help        show this text\n";

struct CWGEN_OPTIONS {
    MORSE_AUDIO_CONFIG config;
    std::string text;
    std::string output;
    bool floatSamples = false;
    bool help = false;
    std::vector<std::string> given;  // value options seen, for the required check
};

struct CWGEN_NUMBER_OPTION {
    const char* name;
    double MORSE_AUDIO_CONFIG::*field;
};

constexpr CWGEN_NUMBER_OPTION kNumberOptions[] = {
    {"--wpm", &MORSE_AUDIO_CONFIG::wpm},         {"--farnsworth", &MORSE_AUDIO_CONFIG::farnsworthWpm},
    {"--pitch", &MORSE_AUDIO_CONFIG::pitchHz},   {"--amplitude", &MORSE_AUDIO_CONFIG::amplitude},
    {"--rise", &MORSE_AUDIO_CONFIG::riseMs},     {"--snr", &MORSE_AUDIO_CONFIG::snrDb},
    {"--jitter", &MORSE_AUDIO_CONFIG::jitterPercent}, {"--lead", &MORSE_AUDIO_CONFIG::leadSeconds},
    {"--tail", &MORSE_AUDIO_CONFIG::tailSeconds},     {"--dah-ratio", &MORSE_AUDIO_CONFIG::dahRatio},
    {"--qsb-depth", &MORSE_AUDIO_CONFIG::qsbDepthDb}, {"--qsb-period", &MORSE_AUDIO_CONFIG::qsbPeriodSeconds},
    {"--drift", &MORSE_AUDIO_CONFIG::driftHz},        {"--qrn", &MORSE_AUDIO_CONFIG::qrnRate},
    {"--qrm-offset", &MORSE_AUDIO_CONFIG::qrmOffsetHz}, {"--qrm-level", &MORSE_AUDIO_CONFIG::qrmLevelDb},
};

const char* const kRequired[] = {"--text", "--wpm", "--pitch", "--rate", "-o"};

bool fail(std::string* error, const std::string& text)
{
    *error = text;
    return false;
}

template <typename T>
bool parse_number(const std::string& text, T* value)
{
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && stop == end;
}

bool parse_double(const std::string& text, double* value)
{
    return parse_number(text, value) && std::isfinite(*value);
}

const CWGEN_NUMBER_OPTION* find_number_option(const std::string& name)
{
    for (const CWGEN_NUMBER_OPTION& option : kNumberOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

bool takes_value(const std::string& name)
{
    return find_number_option(name) || name == "--text" || name == "--rate" || name == "--seed" ||
           name == "--channel" || name == "-o" || name == "--output";
}

bool set_value(CWGEN_OPTIONS* options, const std::string& name, const std::string& value, std::string* error)
{
    const std::string bad = "invalid value '" + value + "' for " + name;
    MORSE_AUDIO_CONFIG& config = options->config;
    if (const CWGEN_NUMBER_OPTION* option = find_number_option(name)) {
        if (!parse_double(value, &(config.*option->field)))
            return fail(error, bad);
        config.addNoise = config.addNoise || name == "--snr";
        config.qrmEnabled = config.qrmEnabled || name.rfind("--qrm-", 0) == 0;
    } else if (name == "--channel") {
        if (!morse_audio_parse_channel(value, &config.channel))
            return fail(error, bad + " (none, good, moderate, poor or flutter)");
    } else if (name == "--rate" || name == "--seed") {
        if (!parse_number(value, name == "--rate" ? &config.sampleRateHz : &config.seed))
            return fail(error, bad);
    } else if (name == "--text") {
        options->text = value;
    } else {
        options->output = value;
    }
    options->given.push_back(name == "--output" ? "-o" : name);
    return true;
}

bool parse_options(int argc, char** argv, CWGEN_OPTIONS* options, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        const size_t equals = name.find('=');
        const bool inlineValue = name.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "-h" || name == "--help") {
            options->help = true;
        } else if (name == "--float" && !inlineValue) {
            options->floatSamples = true;
        } else if (!takes_value(name)) {
            return fail(error, "unknown option '" + std::string(argv[i]) + "'");
        } else if (!inlineValue && i + 1 >= argc) {
            return fail(error, "missing value for " + name);
        } else if (!set_value(options, name, inlineValue ? value : argv[++i], error)) {
            return false;
        }
    }
    return true;
}

bool was_given(const CWGEN_OPTIONS& options, const char* name)
{
    return std::find(options.given.begin(), options.given.end(), name) != options.given.end();
}

bool check_required(const CWGEN_OPTIONS& options, std::string* error)
{
    for (const char* name : kRequired)
        if (!was_given(options, name))
            return fail(error, std::string("missing ") + name);
    // Neither has a sensible default: an interferer on the wanted pitch, or at an arbitrary level.
    if (was_given(options, "--qrm-offset") != was_given(options, "--qrm-level"))
        return fail(error, "--qrm-offset and --qrm-level go together");
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
    options.config = morse_audio_default_config();
    std::string error;
    if (!parse_options(argc, argv, &options, &error))
        return usage_error(error);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!check_required(options, &error))
        return usage_error(error);

    std::vector<MORSE_KEYING> timeline;
    std::string skipped;
    if (!morse_audio_timeline(options.config, options.text, &timeline, &skipped, &error))
        return usage_error(error);
    if (!has_key_down(timeline))
        return usage_error("the text has no characters that can be sent");
    if (!skipped.empty())
        std::fprintf(stderr, "zarvo-cwgen: warning: skipped characters that cannot be sent: \"%s\"\n",
                     skipped.c_str());

    std::vector<float> samples;
    std::vector<uint8_t> image;
    const WAV_ENCODING encoding = options.floatSamples ? WAV_ENCODING_FLOAT32 : WAV_ENCODING_PCM16;
    if (!morse_audio_generate(options.config, options.text, &samples, nullptr, &error) ||
        !wav_build_image(samples.data(), samples.size(), 1, options.config.sampleRateHz, encoding, &image, &error))
        return usage_error(error);
    if (!wav_write_file(options.output, image, &error)) {
        std::fprintf(stderr, "zarvo-cwgen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
