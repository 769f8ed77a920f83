// zarvo-decode: decodes Morse code from a WAV file or a live TCI stream
// through the CW receiver. Exit status 0 on success, 1 when the text or the
// status file cannot be written, 2 on bad options or input, 3 when the TCI
// link fails.
#include "command_line.h"
#include "decode_options.h"
#include "decode_session.h"
#include "decode_wav_source.h"

#ifdef ZARVO_DECODE_TCI
#include "decode_tci_source.h"

#include <QCoreApplication>
#endif

#include <cstdio>
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
int decode_live(int argc, char** argv, const DECODE_OPTIONS& options)
{
#ifdef ZARVO_DECODE_TCI
    QCoreApplication app(argc, argv);
    DECODE_SESSION session;
    std::string error;
    if (!decode_session_open(&session, options, stdout, &error))
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
    return complain("this build has no TCI support (built without Qt)", kExitUsage);
#endif
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

    if (options.tciPort != 0)
        return decode_live(argc, argv, options);

    WAV_AUDIO audio;
    std::string warning;
    if (!decode_read_wav(options.input, &audio, &warning, &error))
        return complain(error, kExitUsage);
    if (!warning.empty())
        std::fprintf(stderr, "zarvo-decode: warning: %s\n", warning.c_str());

    DECODE_SESSION session;
    if (!decode_session_open(&session, options, stdout, &error))
        return complain(error, kExitWrite);
    // Text that cannot be written stops the decoding at once.
    const bool ok = decode_feed_wav(audio, options.blockSamples, &session) &&
                    decode_session_finish(&session, audio.sampleRate, options.blockSamples);
    decode_session_close(&session);
    if (!command_line_flush_stdout(kProgram))
        return kExitWrite;
    if (!ok)
        return complain("cannot write '" + options.statusPath + "'", kExitWrite);
    return 0;
}
