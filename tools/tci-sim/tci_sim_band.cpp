#include "tci_sim_band.h"

namespace {

// Loud enough that a 25 dB station stands well out on a receiver's display,
// low enough that a few keyed at once seldom reach full scale.
constexpr double kAudioZeroDbAmplitude = 0.01;
// The audio band draws its own stations, not those of the IQ band.
constexpr uint32_t kAudioSeedOffset = 0x9E3779B9u;

MORSE_BAND_CONFIG base_config(uint32_t sampleRate, uint32_t stations, uint32_t seed)
{
    MORSE_BAND_CONFIG config = morse_band_default_config();
    config.sampleRateHz = sampleRate;
    config.stationCount = stations;
    config.startSpreadSeconds = kTciSimBandStartSpreadSeconds;
    config.zeroDbAmplitude = kAudioZeroDbAmplitude;
    config.seed = seed;
    return config;
}

}  // namespace

MORSE_BAND_CONFIG tci_sim_audio_band_config(uint32_t sampleRate, uint32_t stations, uint32_t seed)
{
    MORSE_BAND_CONFIG config = base_config(sampleRate, stations, seed + kAudioSeedOffset);
    config.output = MORSE_BAND_AUDIO;
    return config;
}

MORSE_BAND_CONFIG tci_sim_iq_band_config(uint32_t sampleRate, uint32_t stations, uint32_t seed)
{
    MORSE_BAND_CONFIG config = base_config(sampleRate, stations, seed);
    config.output = MORSE_BAND_IQ;
    config.lowHz = -kTciSimIqSpanShare / 2.0 * sampleRate;
    config.highHz = kTciSimIqSpanShare / 2.0 * sampleRate;
    return config;
}

TciSimBand tci_sim_make_band(const MORSE_BAND_CONFIG& config)
{
    return TciSimBand(morse_band_create(config));
}
