// zarvo-engine-decode: runs the Morse engine alone over channel 0 of a WAV
// file and prints the text, for checking the engine apart from the receiver.
#include "command_line.h"
#include "qomorse.h"
#include "wav_file.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kProgram[] = "zarvo-engine-decode";
constexpr int kExitWrite = 1;
constexpr int kExitUsage = 2;

struct ENGINE_DECODE_OPTIONS {
    qomorse_ParametersDecode decode = QoMorse::getDefaultParametersDecode();
    bool stats = false;
    std::string path;
    std::string infoText;  // --help or --version: print it and stop
};

// Parses the arguments after the program name; false with a one-line
// reason in *error.
bool parse_options(const std::vector<std::string>& args, ENGINE_DECODE_OPTIONS* o, std::string* error)
{
    CLI::App app{"Decodes channel 0 of FILE.wav with the Morse engine at the file's rate\n"
                 "and prints the text.",
                 kProgram};
    command_line_setup(app);
    app.add_option("FILE", o->path, "the WAV file")->type_name("FILE.wav")->required();
    app.add_option("--pitch", o->decode.frequency_hz, "fix the pitch the engine otherwise estimates")
        ->type_name("HZ")
        ->check(command_line_number());
    app.add_option("--wpm", o->decode.speed_wpm, "fix the speed the engine otherwise estimates")
        ->type_name("N")
        ->check(command_line_number());
    app.add_flag("--stats", o->stats, "print the final pitch, speed and cost to standard error");
    return command_line_parse(app, args, &o->infoText, error);
}

}  // namespace

int main(int argc, char** argv)
{
    ENGINE_DECODE_OPTIONS options;
    std::string error;
    if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, error.c_str());
        return kExitUsage;
    }
    if (!options.infoText.empty())
        return command_line_print(kProgram, options.infoText) ? 0 : kExitWrite;
    const char* path = options.path.c_str();

    WAV_AUDIO audio;
    if (!wav_read_file(path, &audio, &error)) {
        std::fprintf(stderr, "zarvo-engine-decode: %s: %s\n", path, error.c_str());
        return kExitUsage;
    }

    qomorse_Parameters parameters = QoMorse::getDefaultParameters();
    parameters.sampleRateInp = static_cast<float>(audio.sampleRate);
    QoMorse engine(parameters);
    engine.setParametersDecode(options.decode);

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
    if (!command_line_flush_stdout(kProgram))
        return kExitWrite;
    if (options.stats) {
        const QoMorse::Statistics& s = engine.getStatistics();
        std::fprintf(stderr, "pitch %.1f Hz, speed %.0f WPM, threshold %.2f, cost %.3f\n",
                     static_cast<double>(s.estimatedPitch_Hz), static_cast<double>(s.estimatedSpeed_wpm),
                     static_cast<double>(s.signalThreshold), static_cast<double>(s.costFunction));
    }
    return 0;
}
