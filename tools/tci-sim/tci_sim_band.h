// Bands of generated CW stations as the simulator uses them: the receive
// audio of "--band" and the IQ stream, each held through a handle that
// frees its generator.
#pragma once

#include "morse_band_generator.h"

#include <cstdint>
#include <memory>

struct TciSimBandDeleter {
    void operator()(MORSE_BAND* band) const { morse_band_destroy(band); }
};
using TciSimBand = std::unique_ptr<MORSE_BAND, TciSimBandDeleter>;

// IQ stations first key within this long of the stream's start, so a demo
// or a test has traffic soon.
constexpr double kTciSimBandStartSpreadSeconds = 10.0;
// Share of the IQ rate the stations are spread over, centred on the DDS.
constexpr double kTciSimIqSpanShare = 0.9;

// `stations` over 300..2800 Hz of audio at `sampleRate`.
MORSE_BAND_CONFIG tci_sim_audio_band_config(uint32_t sampleRate, uint32_t stations, uint32_t seed);

// `stations` over ±0.45 × sampleRate around the centre, complex output.
MORSE_BAND_CONFIG tci_sim_iq_band_config(uint32_t sampleRate, uint32_t stations, uint32_t seed);

// Null when the configuration is refused.
TciSimBand tci_sim_make_band(const MORSE_BAND_CONFIG& config);
