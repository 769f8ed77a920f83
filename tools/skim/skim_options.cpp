#include "skim_options.h"

#include "command_line.h"
#include "cw_skimmer.h"
#include "decode_options.h"

namespace {

const char kAbout[] = "Skims a band: decodes every CW signal of an audio or IQ recording, a pipe\n"
                      "(- for standard input, WAV) or a TCI server at once and prints each spot\n"
                      "as a DX-cluster line (\"DX de ZARVO-#:  7025.3  DL2QZA  CW 18 dB 24 WPM CQ\n"
                      "1403Z\", the time is UTC now), when a call is first heard and again when\n"
                      "it is worth sending again. Frequencies: a file's audio pitch, or its IQ\n"
                      "offset from the centre, plus --dial. Over TCI with --iq the server's dds\n"
                      "(the IQ centre) plus the offset; on its receive audio the vfo plus the\n"
                      "pitch heard minus --pitch, the CW pitch the server tunes the vfo to. The\n"
                      "end of a file is followed by 3 s of silence so that the last words come\n"
                      "out. Options take their value as the next argument or after '='.";

const char kExitStatus[] = "Exit status: 0 done (or Ctrl-C with --tci), 1 the output could not be written,\n"
                           "2 bad options or an input that is missing, unreadable, not audio or empty,\n"
                           "or a cluster port that cannot be opened, 3 the TCI server refused the\n"
                           "connection, did not answer or the link was lost.";

}  // namespace

bool skim_parse_options(const std::vector<std::string>& args, SKIM_OPTIONS* o, std::string* error)
{
    *o = SKIM_OPTIONS{};
    std::string tci;
    uint64_t channels = static_cast<uint64_t>(o->channels), clusterPort = 0, iqRate = o->iqRate;

    CLI::App app{kAbout, "zarvo-skim"};
    command_line_setup(app);
    app.footer(kExitStatus);
    CLI::Option* file = app.add_option("FILE", o->input, "the recording or FIFO, or - for standard input");
    app.add_flag("--iq", o->iq,
                 "the input is complex IQ: a two-channel file (I left, Q right), or with --tci the "
                 "server's IQ stream");
    app.add_option("--spotter", o->spotter, "the spotter named in the cluster lines")
        ->type_name("CALL")
        ->check(command_line_not_empty())
        ->capture_default_str();
    app.add_option("--dial", o->dialHz, "files: the dial (audio) or the IQ centre, added to every frequency")
        ->type_name("HZ")
        ->check(command_line_number(0, 1e11))
        ->capture_default_str();
    app.add_flag("--text", o->text,
                 "also print what every channel reads, one line per channel and over: \"FREQ_KHZ  TEXT\"");
    app.add_option("--channels", channels, "channels decoded at once, 1..128")
        ->type_name("N")
        ->transform(command_line_whole(1, kCWSkimmerMaxChannels))
        ->capture_default_str();
    CLI::Option* low = app.add_option("--low", o->lowHz,
                                      "lowest frequency searched: an audio pitch, or an IQ offset (negative "
                                      "below the centre); default 300, IQ the whole stream")
                           ->type_name("HZ")
                           ->check(command_line_number(-192000, 192000));
    CLI::Option* high =
        app.add_option("--high", o->highHz, "highest frequency searched; default 3200, IQ the whole stream")
            ->type_name("HZ")
            ->check(command_line_number(-192000, 192000));
    app.add_option("--cluster", clusterPort,
                   "also serve the spots to loggers on this local telnet port (127.0.0.1) while running")
        ->type_name("PORT")
        ->transform(command_line_whole(1, 65535));
    CLI::Option* tciOption = app.add_option("--tci", tci,
                                            "skim a TCI server live (its receive audio, or its IQ with --iq) "
                                            "until Ctrl-C")
                                 ->type_name("ws://HOST:PORT")
                                 ->check(decode_tci_url_check())
                                 ->excludes(file);
    app.add_option("--iq-rate", iqRate, "with --tci --iq: the IQ rate asked for (the frames' own rate is used)")
        ->type_name("HZ")
        ->transform(command_line_whole(48000, 384000))
        ->capture_default_str()
        ->needs(tciOption);
    app.add_option("--pitch", o->pitchHz,
                   "with --tci on audio: the server's CW pitch, 300..1200; a carrier heard at it is on the vfo")
        ->type_name("HZ")
        ->check(command_line_number(300, 1200))
        ->capture_default_str()
        ->needs(tciOption);
    app.add_flag("--spots-to-radio", o->spotsToRadio,
                 "with --tci: also show the spots on the server's panorama (spot: and spot_delete:)")
        ->needs(tciOption);

    if (!command_line_parse(app, args, &o->infoText, error))
        return false;
    if (!o->infoText.empty())
        return true;
    if (o->input.empty() && tci.empty()) {
        *error = "no input file (use - for standard input, or --tci ws://HOST:PORT)";
        return false;
    }
    o->spanGiven = low->count() > 0 || high->count() > 0;
    if (!o->iq && o->spanGiven && (o->lowHz < 0 || o->highHz < 0)) {
        *error = "--low and --high are audio pitches without --iq and cannot be negative";
        return false;
    }
    if (o->spanGiven && o->lowHz >= o->highHz && low->count() > 0 && high->count() > 0) {
        *error = "--low must be below --high";
        return false;
    }
    if (o->iq && o->spanGiven) {
        // One bound alone leaves the other at the edge of the stream.
        if (low->count() == 0)
            o->lowHz = -192000;
        if (high->count() == 0)
            o->highHz = 192000;
    }
    if (!tci.empty() && o->dialHz != 0) {
        *error = "--dial is for files; over TCI the server's dds or vfo is used";
        return false;
    }
    o->channels = static_cast<int32_t>(channels);
    o->clusterPort = static_cast<uint16_t>(clusterPort);
    o->iqRate = static_cast<uint32_t>(iqRate);
    if (!tci.empty())
        decode_parse_tci_url(tci, &o->tciHost, &o->tciPort);
    return true;
}
