#include "tci_sim_options.h"

#include "command_line.h"
#include "wav_file.h"

#include <cstdint>

namespace {

const char kAbout[] = "A TCI server for development, tests and demos. It answers the start-up\n"
                      "queries of a TCI client, streams receive audio of transceiver 0 after\n"
                      "\"audio_start:0;\" at real-time pace, and keys \"cw_macros:0,...\" text back\n"
                      "into that audio at the \"cw_macros_speed\" set. After \"iq_start:0;\" it\n"
                      "streams float32 IQ of a band of CW stations around the \"dds\" frequency\n"
                      "at the \"iq_samplerate\" set, and it keeps the spots a client sends.\n"
                      "Everything it receives is logged on standard output.";

const char kServers[] = "Behaviour of some real servers";
const char kFaults[] = "Faults";
const char kSkimmer[] = "IQ and spots";

constexpr double kMaxSeconds = 1e6;

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

}  // namespace

bool tci_sim_parse_options(const std::vector<std::string>& args, TCI_SIM_OPTIONS* options, std::string* error)
{
    if (!options)
        return fail(error, "no options record");
    TCI_SIM_OPTIONS& o = *options;
    o = TCI_SIM_OPTIONS{};
    const CLI::Validator seconds = command_line_number(0.0, kMaxSeconds);

    CLI::App app{kAbout, "zarvo-tci-sim"};
    command_line_setup(app);
    app.add_option("--host", o.host, "address to listen on")
        ->type_name("ADDR")
        ->check(command_line_not_empty())
        ->capture_default_str();
    app.add_option("--port", o.port, "port to listen on, 0 for any free one")
        ->type_name("N")
        ->transform(command_line_whole(0, 65535))
        ->capture_default_str();
    CLI::Option* rate = app.add_option("--rate", o.sampleRate, "sample rate, 8000 to 48000")
                            ->type_name("HZ")
                            ->transform(command_line_whole(kTciSimMinRate, kTciSimMaxRate))
                            ->capture_default_str();
    app.add_option("--frame", o.frameSamples, "samples per channel in one frame, 16 to 16384")
        ->type_name("N")
        ->transform(command_line_whole(kTciSimMinFrame, kTciSimMaxFrame))
        ->capture_default_str();
    CLI::Option* wav = app.add_option("--wav", o.wavPath,
                                      "stream a recording in a loop (its first channel, at its "
                                      "own rate) instead of the built-in CW contacts with noise")
                           ->type_name("FILE")
                           ->check(command_line_not_empty());
    CLI::Option* ramp =
        app.add_flag_callback(
               "--ramp", [&o] { o.source = TCI_SIM_SOURCE::Ramp; }, "stream a counting sawtooth (test signal)")
            ->excludes(wav);
    app.add_option("--band", o.bandStations,
                   "stream N CW stations over 300..2800 Hz with noise instead of the built-in contacts")
        ->type_name("N")
        ->transform(command_line_whole(1, kTciSimMaxBandStations))
        ->excludes(wav)
        ->excludes(ramp);
    app.add_option("--snr", o.snrDb, "signal to noise of the built-in contacts in 2500 Hz")
        ->type_name("DB")
        ->check(command_line_number(-50.0, 100.0))
        ->capture_default_str();
    app.add_option("--seed", o.seed, "seed of the built-in contacts and of the bands")
        ->type_name("N")
        ->transform(command_line_whole(0, UINT32_MAX))
        ->capture_default_str();

    app.add_option("--iq-stations", o.iqStations, "CW stations in the IQ band, spread over 0.9 of the IQ rate")
        ->type_name("N")
        ->transform(command_line_whole(0, kTciSimMaxIqStations))
        ->capture_default_str()
        ->group(kSkimmer);
    app.add_option("--iq-truth", o.iqTruthPath,
                   "write the IQ band's stations (call, frequency in Hz, WPM, SNR, first key-down in s) to "
                   "FILE, again whenever a client starts IQ or changes its rate or the frequency")
        ->type_name("FILE")
        ->check(command_line_not_empty())
        ->group(kSkimmer);
    app.add_option("--click-spot", o.clickSpotSeconds,
                   "S seconds after a client's first spot, click its newest spot as an operator would")
        ->type_name("S")
        ->check(seconds)
        ->group(kSkimmer);
    app.add_flag("--old-clicks", o.oldClicks, "send each click also as the older clicked_on_spot:CALL,HZ;")
        ->group(kSkimmer);

    app.add_flag("--stereo", o.stereo, "send two channels whatever the client asked for")->group(kServers);
    app.add_flag("--echo", o.echo, "send every command back to the client")->group(kServers);
    app.add_flag("--chatty", o.chatty, "send state messages unasked every 2 s")->group(kServers);

    app.add_option("--malformed", o.malformedEvery, "after every N good frames send a malformed one")
        ->type_name("N")
        ->transform(command_line_whole(1, 1000000))
        ->group(kFaults);
    app.add_option("--garbage", o.garbageEvery, "after every N good frames send a garbage text message")
        ->type_name("N")
        ->transform(command_line_whole(1, 1000000))
        ->group(kFaults);
    app.add_option("--long-text", o.longTextEvery, "after every N good frames send a 256 KiB text message")
        ->type_name("N")
        ->transform(command_line_whole(1, 1000000))
        ->group(kFaults);
    app.add_option("--flood", o.floodPerFrame, "after every good frame send N small text messages")
        ->type_name("N")
        ->transform(command_line_whole(1, 100000))
        ->group(kFaults);
    app.add_option("--close-after", o.closeAfterSeconds, "drop each connection without a close frame S seconds in")
        ->type_name("S")
        ->check(seconds)
        ->group(kFaults);
    app.add_option("--stall-after", o.stallAfterSeconds, "send nothing from S seconds into each connection ...")
        ->type_name("S")
        ->check(seconds)
        ->group(kFaults);
    app.add_option("--stall-for", o.stallForSeconds, "... for S seconds (default: for ever)")
        ->type_name("S")
        ->check(seconds)
        ->group(kFaults);
    app.add_option("--exit-after", o.exitAfterSeconds, "quit after S seconds")
        ->type_name("S")
        ->check(seconds)
        ->group(kFaults);

    std::string reason;
    if (!command_line_parse(app, args, &o.infoText, &reason))
        return fail(error, reason);
    o.rateGiven = rate->count() > 0;
    if (wav->count() > 0)
        o.source = TCI_SIM_SOURCE::Wav;
    if (o.bandStations > 0)
        o.source = TCI_SIM_SOURCE::Band;
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
