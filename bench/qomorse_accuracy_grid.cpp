// Prints the engine's character error rate over a grid of speeds and
// signal-to-noise ratios as a Markdown table (several seeds per cell).
#include "engine_run.h"
#include "morse_audio_generator.h"
#include "text_metrics.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kText = "CQ CQ DE ZR1ABC ZR1ABC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 73 K";
constexpr int kSeeds = 3;

double cer_for(double wpm, bool noisy, double snrDb, uint32_t seed)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.sampleRateHz = 4000;
    config.wpm = wpm;
    config.pitchHz = 700;
    config.addNoise = noisy;
    config.snrDb = snrDb;
    config.seed = seed;
    config.leadSeconds = 1.0;
    config.tailSeconds = 3.0;
    std::vector<float> samples;
    morse_audio_generate(config, kText, &samples, nullptr, nullptr);
    const engine_run::Result r = engine_run::decode_all(samples, 4000.0f);
    return text_metrics::cer_after_first_word(kText, r.text);
}

}  // namespace

int main()
{
    const double speeds[] = {12, 20, 30, 40, 45};
    struct Column {
        const char* name;
        bool noisy;
        double snrDb;
    };
    const Column columns[] = {{"clean", false, 0}, {"+20 dB", true, 20}, {"+10 dB", true, 10},
                              {"+6 dB", true, 6},  {"+3 dB", true, 3},   {"0 dB", true, 0}};
    std::printf("| WPM |");
    for (const Column& c : columns)
        std::printf(" %s |", c.name);
    std::printf("\n|---|");
    for (size_t i = 0; i < std::size(columns); ++i)
        std::printf("---|");
    std::printf("\n");
    for (double wpm : speeds) {
        std::printf("| %.0f |", wpm);
        for (const Column& c : columns) {
            double sum = 0.0;
            for (uint32_t seed = 1; seed <= kSeeds; ++seed)
                sum += cer_for(wpm, c.noisy, c.snrDb, seed);
            std::printf(" %.1f%% |", 100.0 * sum / kSeeds);
        }
        std::printf("\n");
    }
    return 0;
}
