// Reads clean keyed tone back as Morse: key-down wherever a 1 ms block peaks above a threshold, run lengths in
// units of the dot at a known speed.
#pragma once

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

namespace tci_keying {

struct Run {
    bool keyDown;
    double ms;
};

inline std::vector<Run> runs(const std::vector<float>& samples, double sampleRate, double threshold = 0.05)
{
    const size_t block = static_cast<size_t>(sampleRate / 1000.0);
    std::vector<Run> out;
    for (size_t at = 0; at + block <= samples.size(); at += block) {
        float peak = 0.0f;
        for (size_t i = at; i < at + block; ++i)
            peak = std::fmax(peak, std::fabs(samples[i]));
        if (out.empty() || out.back().keyDown != (peak > threshold))
            out.push_back(Run{peak > threshold, 0.0});
        out.back().ms += 1.0;
    }
    return out;
}

// "." and "-" for elements, nothing between elements, " " between characters, " / " between words; silence at
// either end dropped. Runs off the 1-3-7 grid (by more than a quarter unit) show as "?".
inline std::string code(const std::vector<float>& samples, double sampleRate, double wpm)
{
    std::vector<Run> all = runs(samples, sampleRate);
    while (!all.empty() && !all.back().keyDown)
        all.pop_back();
    std::string out;
    for (const Run& r : all) {
        const double units = r.ms / (1200.0 / wpm);
        const auto near = [units](double u) { return std::fabs(units - u) <= 0.25 * u + 0.3; };
        if (r.keyDown)
            out += near(1) ? "." : near(3) ? "-" : "?";
        else if (!out.empty())
            out += near(1) ? "" : near(3) ? " " : units >= 6 ? " / " : "?";
    }
    return out;
}

}  // namespace tci_keying
