#include "decode_options.h"

#include "command_line.h"
#include "tci_commands.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <utility>

namespace {

const char kAbout[] = "Decodes Morse code from channel 0 of a WAV, FLAC, OGG or MP3 file, a pipe\n"
                      "(- for standard input, WAV or --raw) or a TCI server through the CW\n"
                      "receiver, in blocks as a TCI server sends them, and prints the text as it\n"
                      "is decoded. The end of the input is followed by 3 s of silence so that the\n"
                      "text still inside the decoder's window comes out. Options take their value\n"
                      "as the next argument or after '=' (--pitch=700); values outside a range are\n"
                      "clamped to it, as the receiver does.";

const char kExitStatus[] = "Exit status: 0 decoded, 1 the text or the status file could not be written,\n"
                           "2 bad options or an input that is missing, unreadable, not audio or empty,\n"
                           "3 the TCI server refused the connection, did not answer or the link was lost\n"
                           "(never with --reconnect).";

const char kAutoPitch[] = "auto";

CLI::Validator pitch_or_auto()
{
    const CLI::Validator number = command_line_number();
    return CLI::Validator(
        [number](std::string& text) {
            return text == kAutoPitch || number(std::as_const(text)).empty()
                       ? std::string()
                       : "needs a number or auto, not '" + text + "'";
        },
        "");
}

}  // namespace

CLI::Validator decode_tci_url_check()
{
    return CLI::Validator(
        [](std::string& url) {
            std::string host;
            uint64_t port = 0;
            return decode_parse_tci_url(url, &host, &port) ? std::string() : "needs ws://HOST:PORT, not '" + url + "'";
        },
        "");
}

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
    CW_RX_CONFIG& c = o->config;
    std::string pitch = kAutoPitch;
    std::string agc = c.agcEnabled ? "on" : "off";
    double lockHoldSeconds = c.lockHoldMs / 1000.0;
    double threshold = c.threshold;
    bool autoPitch = c.autoPitch != 0;
    std::string tci;
    std::string raw;
    uint64_t rawRate = 0, rawChannels = 1;

    CLI::App app{kAbout, "zarvo-decode"};
    command_line_setup(app);
    app.footer(kExitStatus);
    CLI::Option* file = app.add_option("FILE", o->input, "the audio file or FIFO, or - for standard input");
    app.add_option("--pitch", pitch,
                   "CW tone pitch, 300..1200; auto finds the strongest tone in "
                   "300..1200 Hz and retunes once at the start of each new signal")
        ->type_name("HZ|auto")
        ->check(pitch_or_auto())
        ->capture_default_str();
    app.add_option("--bandwidth", c.bandwidthHz, "receive bandwidth, 8..200")
        ->type_name("HZ")
        ->check(command_line_number())
        ->capture_default_str();
    app.add_option("--min-wpm", c.minWpm, "lowest speed, 5..80")
        ->type_name("N")
        ->check(command_line_number())
        ->capture_default_str();
    app.add_option("--max-wpm", c.maxWpm, "highest speed, 5..80")
        ->type_name("N")
        ->check(command_line_number())
        ->capture_default_str();
    app.add_option("--search", c.searchHz, "half-width of the pitch search, 5..30")
        ->type_name("HZ")
        ->check(command_line_number())
        ->capture_default_str();
    app.add_flag("--auto-pitch", autoPitch, "let the decoder find the pitch within --pitch +/- --search");
    app.add_option("--agc", agc, "AGC switch")
        ->type_name("on|off")
        ->check(CLI::IsMember({"on", "off"}).description(""))
        ->capture_default_str();
    app.add_option("--lock-hold", lockHoldSeconds, "seconds a strong lock survives silence, 0.8..4")
        ->type_name("S")
        ->check(command_line_number())
        ->capture_default_str();
    app.add_option("--threshold", threshold,
                   "key-down threshold 0..1 of the fallback decoder; its "
                   "release threshold is half of it")
        ->type_name("F")
        ->check(command_line_number())
        ->capture_default_str();
    app.add_option("--squelch", o->squelch,
                   "text squelch 0..1: withholds text while no CW signal is "
                   "present; 0 off, 1 strictest")
        ->type_name("LEVEL")
        ->check(command_line_number())
        ->capture_default_str();
    app.add_flag("--fallback", o->fallback, "decode with the receiver's own simpler decoder");
    app.add_option("--block", o->blockSamples, "samples per block, 1..1000000")
        ->type_name("N")
        ->transform(command_line_whole(1, 1000000))
        ->capture_default_str();
    app.add_option("--status", o->statusPath,
                   "write one JSON line of the receiver status every 200 ms "
                   "of audio (at most one per block)")
        ->type_name("FILE")
        ->check(command_line_not_empty());
    CLI::Option* rawOption = app.add_option("--raw", raw, "the input is headerless little-endian PCM")
                                 ->type_name("s16le|f32le")
                                 ->check(CLI::IsMember({"s16le", "f32le"}).description(""));
    app.add_option("--rate", rawRate, "sample rate of --raw input, 8000..384000")
        ->type_name("HZ")
        ->transform(command_line_whole(8000, 384000))
        ->needs(rawOption);
    app.add_option("--channels", rawChannels, "interleaved channels of --raw input, 1..64; channel 0 is decoded")
        ->type_name("N")
        ->transform(command_line_whole(1, 64))
        ->needs(rawOption);
    app.add_flag("--timestamps", o->timestamps,
                 "start each line with the UTC time and the pitch; a new line after each over");
    app.add_option("--out", o->outPath, "append the text to FILE instead of printing it")
        ->type_name("FILE")
        ->check(command_line_not_empty());
    CLI::Option* tciOption = app.add_option("--tci", tci,
                                            "decode the receive audio of a TCI server live, printing "
                                            "text as it comes, until Ctrl-C")
                                 ->type_name("ws://HOST:PORT")
                                 ->check(decode_tci_url_check())
                                 ->excludes(file);
    app.add_flag("--reconnect", o->reconnect,
                 "with --tci: after a failed or lost link try again after 1, 2, 4 ... 30 s "
                 "and go on decoding")
        ->needs(tciOption);

    if (!command_line_parse(app, args, &o->infoText, error))
        return false;
    if (!o->infoText.empty())
        return true;
    if (o->input.empty() && tci.empty()) {
        *error = "no input file (use - for standard input)";
        return false;
    }
    if (!raw.empty() && rawRate == 0) {
        *error = "--raw needs --rate";
        return false;
    }
    if (!raw.empty() && !tci.empty()) {
        *error = "--raw is for files and pipes, not --tci";
        return false;
    }
    o->raw = raw.empty() ? DECODE_RAW_NONE : raw == "s16le" ? DECODE_RAW_S16LE : DECODE_RAW_F32LE;
    o->rawRate = static_cast<uint32_t>(rawRate);
    o->rawChannels = static_cast<uint16_t>(rawChannels);
    o->autoTune = pitch == kAutoPitch;
    if (!o->autoTune)
        std::from_chars(pitch.data(), pitch.data() + pitch.size(), c.pitchHz);
    c.agcEnabled = agc == "on" ? 1 : 0;
    c.lockHoldMs = lockHoldSeconds * 1000.0;
    c.threshold = static_cast<float>(threshold);
    c.releaseThreshold = static_cast<float>(threshold * 0.5);
    c.autoPitch = autoPitch ? 1 : 0;
    o->squelch = std::clamp(o->squelch, 0.0, 1.0);
    if (!tci.empty())
        decode_parse_tci_url(tci, &o->tciHost, &o->tciPort);
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
