// zarvo-decode: decodes Morse code from an audio file, a pipe or a live TCI
// stream through the CW receiver. Exit status 0 on success, 1 when the text
// or the status file cannot be written, 2 on bad options or input, 3 when the
// TCI link fails.
#include "command_line.h"
#include "decode_options.h"
#include "decode_session.h"
#include "decode_audio_input.h"

#ifdef ZARVO_DECODE_TCI
#include "decode_tci_source.h"

#include <QCoreApplication>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kProgram[] = "zarvo-decode";
constexpr int kExitWrite = 1;
constexpr int kExitUsage = 2;

int complain(const std::string& text, int status)
{
    std::fprintf(stderr, "zarvo-decode: %s\n", text.c_str());
    return status;
}

// Decodes until Ctrl-C or a lost link, then flushes the decoder's window.
int decode_live(int argc, char** argv, const DECODE_OPTIONS& options, FILE* text)
{
#ifdef ZARVO_DECODE_TCI
    QCoreApplication app(argc, argv);
    DECODE_SESSION session;
    std::string error;
    if (!decode_session_open(&session, options, text, &error))
        return complain(error, kExitWrite);
    const int status = decode_run_tci(options, &session);
    const bool heardAudio = session.samples > 0;
    const bool ok = !heardAudio || decode_session_finish(&session, session.config.sampleRate, options.blockSamples);
    decode_session_close(&session);
    if (!command_line_flush_stdout(kProgram))
        return kExitWrite;
    return ok ? status : complain("cannot write '" + options.statusPath + "'", kExitWrite);
#else
    (void)argc;
    (void)argv;
    (void)options;
    (void)text;
    return complain("this build has no TCI support (built without Qt)", kExitUsage);
#endif
}

// Closes --out; a full disk shows at the latest here.
int finish_out(const DECODE_OPTIONS& options, FILE* text, int status)
{
    if (text == stdout)
        return status;
    const bool failed = std::ferror(text) != 0;
    if ((std::fclose(text) != 0 || failed) && status != kExitWrite)
        return complain("cannot write '" + options.outPath + "': " + std::strerror(errno), kExitWrite);
    return status;
}

int decode_stream(DECODE_INPUT* input, const DECODE_OPTIONS& options, FILE* text)
{
    DECODE_SESSION session;
    std::string error;
    if (!decode_session_open(&session, options, text, &error))
        return finish_out(options, text, complain(error, kExitWrite));
    const size_t block = options.blockSamples;
    std::vector<float> mono(block);
    bool ok = true;
    size_t count = 0;
    DECODE_INPUT_STATUS info;
    decode_input_get_status(input, &info);
    // Text that cannot be written stops the decoding at once.
    while ((ok = decode_input_read(input, mono.data(), block, &count, &error)) && count > 0 && !std::ferror(text))
        decode_session_feed(&session, mono.data(), count, info.sampleRate);
    decode_input_get_status(input, &info);
    const std::string name = options.input == "-" ? "standard input" : options.input;
    if (!ok || info.frames == 0) {
        decode_session_close(&session);
        return finish_out(options, text, complain(ok ? "no audio in " + name : error, kExitUsage));
    }
    if (info.truncated)
        std::fprintf(stderr,
                     "zarvo-decode: warning: %s: data chunk is shorter than its header says; decoded the %llu "
                     "whole frames present\n",
                     name.c_str(), static_cast<unsigned long long>(info.frames));
    const bool finished = !std::ferror(text) && decode_session_finish(&session, info.sampleRate, block);
    decode_session_close(&session);
    if (text == stdout && !command_line_flush_stdout(kProgram))
        return kExitWrite;
    if (text != stdout && std::ferror(text))
        return finish_out(options, text,
                          complain("cannot write '" + options.outPath + "': " + std::strerror(errno), kExitWrite));
    if (!finished)
        return finish_out(options, text, complain("cannot write '" + options.statusPath + "'", kExitWrite));
    return finish_out(options, text, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    DECODE_OPTIONS options;
    std::string error;
    if (!decode_parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error))
        return complain(error + " (see --help)", kExitUsage);
    if (!options.infoText.empty())
        return command_line_print(kProgram, options.infoText) ? 0 : kExitWrite;

    FILE* text = stdout;
    if (!options.outPath.empty() && (text = std::fopen(options.outPath.c_str(), "a")) == nullptr)
        return complain("cannot write '" + options.outPath + "': " + std::strerror(errno), kExitWrite);
    if (options.tciPort != 0)
        return finish_out(options, text, decode_live(argc, argv, options, text));

    DECODE_INPUT_CONFIG inputConfig{
        .path = options.input, .raw = options.raw, .rawRate = options.rawRate, .rawChannels = options.rawChannels};
    DECODE_INPUT* input = decode_input_open(&inputConfig, &error);
    if (input == nullptr)
        return complain(error, kExitUsage);
    const int status = decode_stream(input, options, text);
    decode_input_destroy(input);
    return status;
}
