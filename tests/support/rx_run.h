// Generated Morse through a CW receiver as the audio pipeline feeds it, block by block.
#pragma once

#include "CWRx.h"
#include "morse_audio_generator.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rx_run {

struct Signal {
    double wpm = 20.0;
    double pitchHz = 600.0;
    uint32_t rate = 8000;
    bool noisy = false;
    double snrDb = 0.0;  // key-down carrier over noise in 2500 Hz
    double tailSeconds = 3.0;
};

inline MORSE_AUDIO_CONFIG noisy_config(double wpm, double pitchHz, uint32_t rate, double snrDb, uint32_t seed,
                                       double tailSeconds)
{
    MORSE_AUDIO_CONFIG c = morse_audio_default_config();
    c.wpm = wpm, c.pitchHz = pitchHz, c.sampleRateHz = rate, c.addNoise = true, c.snrDb = snrDb, c.seed = seed;
    c.leadSeconds = 1.0, c.tailSeconds = tailSeconds;
    return c;
}

inline std::vector<float> generate(const Signal& s, const std::string& text)
{
    MORSE_AUDIO_CONFIG c = noisy_config(s.wpm, s.pitchHz, s.rate, s.snrDb, 1, s.tailSeconds);
    c.addNoise = s.noisy;
    std::vector<float> samples;
    morse_audio_generate(c, text, &samples, nullptr, nullptr);
    return samples;
}

struct RxDeleter {
    void operator()(CW_RX* rx) const { cw_rx_destroy(rx); }
};
using Rx = std::unique_ptr<CW_RX, RxDeleter>;

inline CW_RX_CONFIG config_for(double rate, double pitchHz, bool autoPitch = false)
{
    CW_RX_CONFIG config = cw_rx_default_config();
    config.sampleRate = rate, config.pitchHz = pitchHz, config.autoPitch = autoPitch ? 1 : 0;
    return config;
}

// Called after every block with the status and the block's end in samples.
using Observer = std::function<void(const CW_RX_STATUS&, size_t)>;

inline std::string decode(CW_RX* rx, const CW_RX_CONFIG& config, const std::vector<float>& samples, size_t block,
                          size_t capacity = 128, const Observer& observe = nullptr)
{
    std::string text;
    std::vector<char> buffer(std::max<size_t>(capacity, 1));
    for (size_t at = 0; at < samples.size(); at += block) {
        const size_t n = std::min(block, samples.size() - at);
        cw_rx_configure(rx, &config);
        text.append(buffer.data(), cw_rx_process(rx, samples.data() + at, n, buffer.data(), capacity));
        CW_RX_STATUS status;
        cw_rx_get_status(rx, &status);
        if (observe)
            observe(status, at + n);
    }
    return text;
}

}  // namespace rx_run
