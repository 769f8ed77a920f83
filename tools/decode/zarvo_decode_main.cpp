// zarvo-decode: decodes Morse code from a WAV file through the CW receiver.
// Exit status 0 on success, 1 when the status file cannot be written, 2 on
// bad options or input.
#include "decode_options.h"
#include "decode_session.h"
#include "decode_wav_source.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kExitWrite = 1;
constexpr int kExitUsage = 2;

int complain(const std::string& text, int status)
{
    std::fprintf(stderr, "zarvo-decode: %s\n", text.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    DECODE_OPTIONS options;
    std::string error;
    if (!decode_parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error))
        return complain(error + " (see --help)", kExitUsage);
    if (options.help) {
        std::fputs(decode_usage(), stdout);
        return 0;
    }

    WAV_AUDIO audio;
    std::string warning;
    if (!decode_read_wav(options.input, &audio, &warning, &error))
        return complain(error, kExitUsage);
    if (!warning.empty())
        std::fprintf(stderr, "zarvo-decode: warning: %s\n", warning.c_str());

    DECODE_SESSION session;
    if (!decode_session_open(&session, options, stdout, &error))
        return complain(error, kExitWrite);
    decode_feed_wav(audio, options.blockSamples, &session);
    const bool ok = decode_session_finish(&session, audio.sampleRate, options.blockSamples);
    decode_session_close(&session);
    if (!ok)
        return complain("cannot write '" + options.statusPath + "'", kExitWrite);
    return 0;
}
