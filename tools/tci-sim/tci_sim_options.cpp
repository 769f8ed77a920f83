#include "tci_sim_options.h"

#include "wav_file.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace {

const char kUsage[] =
    "usage: zarvo-tci-sim [--host ADDR] [--port N] [--rate HZ] [--frame N]\n"
    "                     [--wav FILE | --ramp] [--snr DB] [--seed N]\n"
    "                     [--stereo] [--echo] [--chatty]\n"
    "                     [--malformed N] [--garbage N] [--close-after S]\n"
    "                     [--stall-after S] [--stall-for S] [--exit-after S]\n"
    "\n"
    "A TCI server for development, tests and demos. It answers the start-up\n"
    "queries of a TCI client, streams receive audio of transceiver 0 after\n"
    "\"audio_start:0;\" at real-time pace, and keys \"cw_macros:0,...\" text back\n"
    "into that audio at the \"cw_macros_speed\" set. Everything it receives is\n"
    "logged on standard output.\n"
    "\n"
    "  --host ADDR       address to listen on (default 127.0.0.1)\n"
    "  --port N          port to listen on, 0 for any free one (default 50001)\n"
    "  --rate HZ         sample rate, 8000 to 48000 (default 48000)\n"
    "  --frame N         samples per channel in one frame, 16 to 16384 (default 1024)\n"
    "  --wav FILE        stream a recording in a loop (its first channel, at its\n"
    "                    own rate) instead of the built-in CW contacts with noise\n"
    "  --ramp            stream a counting sawtooth (test signal)\n"
    "  --snr DB          signal to noise of the built-in contacts in 2500 Hz (default 12)\n"
    "  --seed N          seed of the built-in contacts (default 1)\n"
    "\n"
    "Behaviour of some real servers:\n"
    "  --stereo          send two channels whatever the client asked for\n"
    "  --echo            send every command back to the client\n"
    "  --chatty          greet with state messages and \"ready;\", and send state\n"
    "                    messages unasked every 2 s\n"
    "\n"
    "Faults:\n"
    "  --malformed N     after every N good frames send a malformed one\n"
    "  --garbage N       after every N good frames send a garbage text message\n"
    "  --close-after S   drop each connection without a close frame S seconds in\n"
    "  --stall-after S   send nothing from S seconds into each connection ...\n"
    "  --stall-for S     ... for S seconds (default: for ever)\n"
    "  --exit-after S    quit after S seconds\n"
    "  -h, --help        show this text\n";

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

template <typename T>
bool parse_number(const std::string& text, T* value)
{
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && stop == end && !text.empty();
}

bool parse_seconds(const std::string& name, const std::string& text, double* value, std::string* error)
{
    if (!parse_number(text, value) || !std::isfinite(*value) || *value < 0.0 || *value > 1e6)
        return fail(error, name + " wants seconds from 0 to 1000000");
    return true;
}

struct FLAG_OPTION {
    const char* name;
    bool TCI_SIM_OPTIONS::*field;
};

constexpr FLAG_OPTION kFlags[] = {
    {"--stereo", &TCI_SIM_OPTIONS::stereo}, {"--echo", &TCI_SIM_OPTIONS::echo},
    {"--chatty", &TCI_SIM_OPTIONS::chatty}, {"--help", &TCI_SIM_OPTIONS::help},
    {"-h", &TCI_SIM_OPTIONS::help},
};

struct NUMBER_OPTION {
    const char* name;
    uint64_t lo;
    uint64_t hi;
    uint32_t TCI_SIM_OPTIONS::*field;
};

constexpr NUMBER_OPTION kNumbers[] = {
    {"--port", 0, 65535, &TCI_SIM_OPTIONS::port},
    {"--rate", kTciSimMinRate, kTciSimMaxRate, &TCI_SIM_OPTIONS::sampleRate},
    {"--frame", kTciSimMinFrame, kTciSimMaxFrame, &TCI_SIM_OPTIONS::frameSamples},
    {"--seed", 0, UINT32_MAX, &TCI_SIM_OPTIONS::seed},
    {"--malformed", 1, 1000000, &TCI_SIM_OPTIONS::malformedEvery},
    {"--garbage", 1, 1000000, &TCI_SIM_OPTIONS::garbageEvery},
};

struct SECONDS_OPTION {
    const char* name;
    double TCI_SIM_OPTIONS::*field;
};

constexpr SECONDS_OPTION kSeconds[] = {
    {"--close-after", &TCI_SIM_OPTIONS::closeAfterSeconds},
    {"--stall-after", &TCI_SIM_OPTIONS::stallAfterSeconds},
    {"--stall-for", &TCI_SIM_OPTIONS::stallForSeconds},
    {"--exit-after", &TCI_SIM_OPTIONS::exitAfterSeconds},
};

constexpr const char* kTextOptions[] = {"--host", "--wav", "--snr"};

template <typename Table>
const auto* find_option(const Table& table, const std::string& name)
{
    for (const auto& option : table)
        if (name == option.name)
            return &option;
    return static_cast<decltype(&table[0])>(nullptr);
}

bool takes_value(const std::string& name)
{
    for (const char* option : kTextOptions)
        if (name == option)
            return true;
    return find_option(kNumbers, name) || find_option(kSeconds, name);
}

bool apply_flag(const std::string& name, TCI_SIM_OPTIONS* options)
{
    if (name == "--ramp") {
        options->source = TCI_SIM_SOURCE::Ramp;
        return true;
    }
    const FLAG_OPTION* flag = find_option(kFlags, name);
    if (flag)
        options->*flag->field = true;
    return flag != nullptr;
}

bool apply_text(const std::string& name, const std::string& value, TCI_SIM_OPTIONS* o, std::string* error)
{
    if (name == "--snr") {
        const bool ok = parse_number(value, &o->snrDb) && o->snrDb >= -50.0 && o->snrDb <= 100.0;
        return ok || fail(error, "--snr wants decibels from -50 to 100");
    }
    if (value.empty())
        return fail(error, name + " wants a value");
    if (name == "--wav") {
        o->wavPath = value;
        o->source = TCI_SIM_SOURCE::Wav;
    } else {
        o->host = value;
    }
    return true;
}

bool apply_value(const std::string& name, const std::string& value, TCI_SIM_OPTIONS* o, std::string* error)
{
    if (const SECONDS_OPTION* option = find_option(kSeconds, name))
        return parse_seconds(name, value, &(o->*option->field), error);
    const NUMBER_OPTION* option = find_option(kNumbers, name);
    if (!option)
        return apply_text(name, value, o, error);
    uint64_t n = 0;
    if (!parse_number(value, &n) || n < option->lo || n > option->hi)
        return fail(error, name + " wants a whole number from " + std::to_string(option->lo) + " to " +
                               std::to_string(option->hi));
    o->*option->field = static_cast<uint32_t>(n);
    o->rateGiven = o->rateGiven || name == "--rate";
    return true;
}

}  // namespace

const char* tci_sim_usage()
{
    return kUsage;
}

bool tci_sim_parse_options(int argc, const char* const* argv, TCI_SIM_OPTIONS* options, std::string* error)
{
    if (!options)
        return fail(error, "no options record");
    *options = TCI_SIM_OPTIONS{};
    bool sawWav = false, sawRamp = false;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i] ? argv[i] : "";
        std::string value;
        const size_t equals = name.find('=');
        const bool inline_value = name.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inline_value) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        sawWav = sawWav || name == "--wav";
        sawRamp = sawRamp || name == "--ramp";
        if (!takes_value(name)) {
            if (inline_value || !apply_flag(name, options))
                return fail(error, inline_value ? name + " takes no value" : "unknown option " + name);
            continue;
        }
        if (!inline_value) {
            if (i + 1 >= argc || !argv[i + 1])
                return fail(error, name + " wants a value");
            value = argv[++i];
        }
        std::string reason;
        if (!apply_value(name, value, options, &reason))
            return fail(error, reason);
    }
    if (sawWav && sawRamp)
        return fail(error, "--wav and --ramp exclude each other");
    return true;
}

bool tci_sim_adopt_wav_rate(const WAV_AUDIO& wav, TCI_SIM_OPTIONS* options, std::string* error)
{
    if (wav.channels == 0 || wav.samples.empty())
        return fail(error, "the recording holds no samples");
    if (wav.sampleRate < kTciSimMinRate || wav.sampleRate > kTciSimMaxRate)
        return fail(error, "the recording is at " + std::to_string(wav.sampleRate) + " Hz; the simulator streams " +
                               std::to_string(kTciSimMinRate) + " to " + std::to_string(kTciSimMaxRate) + " Hz");
    if (options->rateGiven && options->sampleRate != wav.sampleRate)
        return fail(error, "the recording is at " + std::to_string(wav.sampleRate) + " Hz, not the --rate " +
                               std::to_string(options->sampleRate) + " Hz");
    options->sampleRate = wav.sampleRate;
    return true;
}
