// zarvo-skim: the skimmer without a screen. Decodes every CW signal of a
// recording, a pipe or a live TCI stream and prints the spots as cluster
// lines. Exit status 0 on success, 1 when the output cannot be written, 2 on
// bad options or input, 3 when the TCI link fails.
#include "command_line.h"
#include "decode_audio_input.h"
#include "skim_options.h"
#include "skim_session.h"

#ifdef ZARVO_SKIM_TCI
#include "skim_tci_source.h"

#include <QCoreApplication>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kProgram[] = "zarvo-skim";
constexpr int kExitWrite = 1;
constexpr int kExitUsage = 2;

int complain(const std::string& text, int status)
{
    std::fprintf(stderr, "zarvo-skim: %s\n", text.c_str());
    return status;
}

int skim_live(int argc, char** argv, const SKIM_OPTIONS& options)
{
#ifdef ZARVO_SKIM_TCI
    QCoreApplication app(argc, argv);
    SKIM_SESSION session;
    std::string error;
    if (!skim_session_open(&session, options, stdout, &error))
        return complain(error, kExitUsage);
    const int status = skim_run_tci(options, &session);
    const bool written = !session.writeFailed && skim_output_flush_text(session.output);
    skim_session_close(&session);
    if (!command_line_flush_stdout(kProgram) || !written)
        return kExitWrite;
    return status;
#else
    (void)argc;
    (void)argv;
    (void)options;
    return complain("this build has no TCI support (built without Qt)", kExitUsage);
#endif
}

int skim_stream(DECODE_INPUT* input, const SKIM_OPTIONS& options)
{
    DECODE_INPUT_STATUS info;
    decode_input_get_status(input, &info);
    const std::string name = options.input == "-" ? "standard input" : options.input;
    if (options.iq && info.channels < 2)
        return complain(name + ": has one channel; --iq needs two (I left, Q right)", kExitUsage);
    SKIM_SESSION session;
    std::string error;
    if (!skim_session_open(&session, options, stdout, &error))
        return complain(error, kExitUsage);
    skim_session_set_stream(&session, info.sampleRate, options.dialHz);
    const size_t block = options.blockFrames;
    std::vector<float> samples(block * (options.iq ? 2 : 1));
    bool ok = true;
    size_t count = 0;
    for (;;) {
        ok = options.iq ? decode_input_read_pairs(input, samples.data(), block, &count, &error)
                        : decode_input_read(input, samples.data(), block, &count, &error);
        // Output that cannot be written stops the skimming at once.
        if (!ok || count == 0 || !skim_session_feed(&session, samples.data(), count))
            break;
    }
    decode_input_get_status(input, &info);
    if (!ok || info.frames == 0) {
        skim_session_close(&session);
        return complain(ok ? "no audio in " + name : error, kExitUsage);
    }
    if (info.truncated)
        std::fprintf(stderr,
                     "zarvo-skim: warning: %s: data chunk is shorter than its header says; skimmed the %llu "
                     "whole frames present\n",
                     name.c_str(), static_cast<unsigned long long>(info.frames));
    const bool written = !session.writeFailed && skim_session_finish(&session);
    skim_session_close(&session);
    if (!command_line_flush_stdout(kProgram) || !written)
        return kExitWrite;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    SKIM_OPTIONS options;
    std::string error;
    if (!skim_parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error))
        return complain(error + " (see --help)", kExitUsage);
    if (!options.infoText.empty())
        return command_line_print(kProgram, options.infoText) ? 0 : kExitWrite;
    if (options.tciPort != 0)
        return skim_live(argc, argv, options);

    const DECODE_INPUT_CONFIG inputConfig{.path = options.input};
    DECODE_INPUT* input = decode_input_open(&inputConfig, &error);
    if (input == nullptr)
        return complain(error, kExitUsage);
    const int status = skim_stream(input, options);
    decode_input_destroy(input);
    return status;
}
