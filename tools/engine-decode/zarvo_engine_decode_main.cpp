// zarvo-engine-decode: runs the Morse engine alone over channel 0 of a WAV
// file and prints the text, for checking the engine apart from the receiver.
#include "qomorse.h"
#include "wav_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 2;

void print_usage(FILE* out)
{
    std::fprintf(out,
                 "usage: zarvo-engine-decode [--pitch HZ] [--wpm N] [--stats] FILE.wav\n"
                 "Decodes channel 0 of FILE.wav with the Morse engine at the file's rate\n"
                 "and prints the text. --pitch and --wpm fix what the engine otherwise\n"
                 "estimates; --stats prints the final pitch, speed and cost to stderr.\n");
}

bool parse_float(const char* text, float* value)
{
    char* end = nullptr;
    *value = std::strtof(text, &end);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv)
{
    qomorse_ParametersDecode decodeParameters = QoMorse::getDefaultParametersDecode();
    bool stats = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        float* target = arg == "--pitch" ? &decodeParameters.frequency_hz
                        : arg == "--wpm" ? &decodeParameters.speed_wpm
                                         : nullptr;
        if (target != nullptr) {
            if (i + 1 >= argc || !parse_float(argv[++i], target)) {
                std::fprintf(stderr, "zarvo-engine-decode: %s needs a number\n", arg.c_str());
                return kExitUsage;
            }
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            return 0;
        } else if (path == nullptr && arg.rfind("--", 0) != 0) {
            path = argv[i];
        } else {
            std::fprintf(stderr, "zarvo-engine-decode: unexpected argument %s\n", arg.c_str());
            return kExitUsage;
        }
    }
    if (path == nullptr) {
        print_usage(stderr);
        return kExitUsage;
    }

    WAV_AUDIO audio;
    std::string error;
    if (!wav_read_file(path, &audio, &error)) {
        std::fprintf(stderr, "zarvo-engine-decode: %s: %s\n", path, error.c_str());
        return kExitUsage;
    }

    qomorse_Parameters parameters = QoMorse::getDefaultParameters();
    parameters.sampleRateInp = static_cast<float>(audio.sampleRate);
    QoMorse engine(parameters);
    engine.setParametersDecode(decodeParameters);

    const size_t frames = wav_frame_count(audio);
    size_t next = 0;
    const auto feed = [&](void* dst, uint32_t nBytes) -> uint32_t {
        const size_t wanted = nBytes / sizeof(float);
        if (frames - next < wanted)
            return 0;
        auto* out = static_cast<float*>(dst);
        for (size_t i = 0; i < wanted; ++i)
            out[i] = audio.samples[(next + i) * audio.channels];
        next += wanted;
        return nBytes;
    };
    engine.decode(feed);

    std::vector<uint8_t> text;
    engine.takeRxData(text);
    // Pitch changes start new lines; the edges of the text carry only those.
    const std::string decoded(text.begin(), text.end());
    const size_t first = decoded.find_first_not_of(" \n");
    const size_t last = decoded.find_last_not_of(" \n");
    std::printf("%s\n", first == std::string::npos ? "" : decoded.substr(first, last - first + 1).c_str());
    if (stats) {
        const QoMorse::Statistics& s = engine.getStatistics();
        std::fprintf(stderr, "pitch %.1f Hz, speed %.0f WPM, threshold %.2f, cost %.3f\n",
                     static_cast<double>(s.estimatedPitch_Hz), static_cast<double>(s.estimatedSpeed_wpm),
                     static_cast<double>(s.signalThreshold), static_cast<double>(s.costFunction));
    }
    return 0;
}
