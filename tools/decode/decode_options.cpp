#include "decode_options.h"

#include "tci_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

const char kUsage[] =
    "usage: zarvo-decode [options] FILE.wav|-\n"
    "       zarvo-decode [options] --tci ws://HOST:PORT\n"
    "\n"
    "Decodes Morse code from channel 0 of a WAV file (or standard input with -)\n"
    "through the CW receiver, in blocks as a TCI server sends them, and prints\n"
    "the text. The end of the input is followed by 3 s of silence so that the\n"
    "text still inside the decoder's window comes out. Options take their value\n"
    "as the next argument or after '=' (--pitch=700); values outside a range are\n"
    "clamped to it, as the receiver does.\n"
    "\n"
    "  --pitch HZ|auto   CW tone pitch, 300..1200; auto (the default) finds the\n"
    "                    strongest tone in 300..1200 Hz and retunes once at the\n"
    "                    start of each new signal\n"
    "  --bandwidth HZ    receive bandwidth, 8..200 (default 30)\n"
    "  --min-wpm N       lowest speed, 5..80 (default 12)\n"
    "  --max-wpm N       highest speed, 5..80 (default 50)\n"
    "  --search HZ       half-width of the pitch search, 5..30 (default 15)\n"
    "  --auto-pitch      let the decoder find the pitch within --pitch +/- --search\n"
    "  --agc on|off      AGC switch (default on)\n"
    "  --lock-hold S     seconds a strong lock survives silence, 0.8..4 (default 1.8)\n"
    "  --threshold F     key-down threshold 0..1 of the fallback decoder; its\n"
    "                    release threshold is half of it (default 0.5)\n"
    "  --squelch LEVEL   text squelch 0..1: withholds text while no CW signal is\n"
    "                    present; 0 off, 1 strictest (default 0.5)\n"
    "  --fallback        decode with the receiver's own simpler decoder\n"
    "  --block N         samples per block, 1..1000000 (default 2048)\n"
    "  --status FILE     write one JSON line of the receiver status every 200 ms\n"
    "                    of audio (at most one per block)\n"
    "  --tci ws://HOST:PORT  decode the receive audio of a TCI server live,\n"
    "                    printing text as it comes, until Ctrl-C\n"
    "  -h, --help        show this text\n"
    "\n"
    "Exit status: 0 decoded, 1 the text or the status file could not be written,\n"
    "2 bad options or an input that is missing, unreadable or not a usable WAV,\n"
    "3 the TCI server refused the connection or the link was lost.\n";

bool parse_number(const std::string& text, double* value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, *value);
    return ec == std::errc() && ptr == end && std::isfinite(*value);
}

struct NUMBER_OPTION {
    const char* name;
    double CW_RX_CONFIG::*field;
};

constexpr NUMBER_OPTION kNumberOptions[] = {
    {"--pitch", &CW_RX_CONFIG::pitchHz},   {"--bandwidth", &CW_RX_CONFIG::bandwidthHz},
    {"--min-wpm", &CW_RX_CONFIG::minWpm},  {"--max-wpm", &CW_RX_CONFIG::maxWpm},
    {"--search", &CW_RX_CONFIG::searchHz},
};

bool fail(std::string* error, const std::string& text)
{
    *error = text;
    return false;
}

// Options that need a value; the rest are flags.
bool takes_value(const std::string& name)
{
    for (const NUMBER_OPTION& o : kNumberOptions)
        if (name == o.name)
            return true;
    return name == "--agc" || name == "--lock-hold" || name == "--threshold" || name == "--squelch" ||
           name == "--block" ||
           name == "--status" || name == "--tci";
}

bool apply_value(const std::string& name, const std::string& value, DECODE_OPTIONS* o, std::string* error)
{
    double number = 0.0;
    if (name == "--agc") {
        if (value != "on" && value != "off")
            return fail(error, "--agc needs on or off, not '" + value + "'");
        o->config.agcEnabled = value == "on" ? 1 : 0;
        return true;
    }
    if (name == "--tci")
        return decode_parse_tci_url(value, &o->tciHost, &o->tciPort) ||
               fail(error, "--tci needs ws://HOST:PORT, not '" + value + "'");
    if (name == "--status") {
        if (value.empty())
            return fail(error, "--status needs a file name");
        o->statusPath = value;
        return true;
    }
    if (name == "--pitch") {
        o->autoTune = value == "auto";
        if (o->autoTune)
            return true;
    }
    if (!parse_number(value, &number))
        return fail(error, name + " needs a number, not '" + value + "'");
    for (const NUMBER_OPTION& n : kNumberOptions) {
        if (name == n.name) {
            o->config.*n.field = number;
            return true;
        }
    }
    if (name == "--lock-hold") {
        o->config.lockHoldMs = number * 1000.0;
    } else if (name == "--squelch") {
        o->squelch = std::clamp(number, 0.0, 1.0);
    } else if (name == "--threshold") {
        o->config.threshold = static_cast<float>(number);
        o->config.releaseThreshold = static_cast<float>(number * 0.5);
    } else if (number >= 1.0 && number <= 1000000.0 && number == std::floor(number)) {
        o->blockSamples = static_cast<size_t>(number);
    } else {
        return fail(error, "--block needs a whole number from 1 to 1000000, not '" + value + "'");
    }
    return true;
}

bool apply_flag(const std::string& name, DECODE_OPTIONS* o, std::string* error)
{
    if (name == "--auto-pitch")
        o->config.autoPitch = 1;
    else if (name == "--fallback")
        o->fallback = true;
    else if (name == "-h" || name == "--help")
        o->help = true;
    else
        return fail(error, "unknown option " + name);
    return true;
}

}  // namespace

DECODE_OPTIONS decode_default_options()
{
    DECODE_OPTIONS o;
    o.config = cw_rx_default_config();
    o.config.releaseThreshold = o.config.threshold * 0.5f;
    return o;
}

bool decode_parse_options(const std::vector<std::string>& args, DECODE_OPTIONS* o, std::string* error)
{
    *o = decode_default_options();
    bool haveInput = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-" || arg.empty() || arg[0] != '-') {
            if (haveInput)
                return fail(error, "more than one input: '" + o->input + "' and '" + arg + "'");
            o->input = arg;
            haveInput = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (!takes_value(name)) {
            if (equals != std::string::npos)
                return fail(error, name + " takes no value");
            if (!apply_flag(name, o, error))
                return false;
            continue;
        }
        std::string value;
        if (equals != std::string::npos)
            value = arg.substr(equals + 1);
        else if (i + 1 < args.size())
            value = args[++i];
        else
            return fail(error, name + " needs a value");
        if (!apply_value(name, value, o, error))
            return false;
    }
    if (haveInput && o->tciPort != 0)
        return fail(error, "give either an input file or --tci, not both");
    if (!haveInput && o->tciPort == 0 && !o->help)
        return fail(error, "no input file (use - for standard input)");
    return true;
}

bool decode_parse_tci_url(const std::string& url, std::string* host, uint64_t* port)
{
    const std::string scheme = "ws://";
    const size_t colon = url.rfind(':');
    if (url.compare(0, scheme.size(), scheme) != 0 || colon == std::string::npos || colon < scheme.size())
        return false;
    const std::string portText = url.substr(colon + 1);
    uint64_t number = 0;
    const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), number);
    if (ec != std::errc() || end != portText.data() + portText.size() || number == 0)
        return false;
    const std::string hostText = url.substr(scheme.size(), colon - scheme.size());
    if (!tci_make_url(hostText, number).acceptable)
        return false;
    *host = hostText;
    *port = number;
    return true;
}

const char* decode_usage()
{
    return kUsage;
}
