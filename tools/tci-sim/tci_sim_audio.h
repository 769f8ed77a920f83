// The receive audio of the simulated transceiver: a background (built-in CW
// contacts with noise, a band of many stations, a looped recording or a
// test ramp) and, while CW
// text is being keyed, the keyed signal alone, as a transceiver monitors
// its own transmission.
#pragma once

#include "tci_sim_band.h"
#include "tci_sim_cw_track.h"
#include "tci_sim_options.h"
#include "tci_sim_qso.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

struct WAV_AUDIO;

constexpr double kTciSimKeyerPitchHz = 600.0;
constexpr double kTciSimKeyerAmplitude = 0.5;

class TciSimAudio {
public:
    // `wav` is used for TCI_SIM_SOURCE::Wav and must outlive the object; its
    // rate must be options.sampleRate.
    TciSimAudio(const TCI_SIM_OPTIONS& options, const WAV_AUDIO* wav);

    // Queues text to key at wpm (clamped to 1..100).
    void key(const std::string& text, double wpm);
    // Drops the text not keyed yet; returns the characters dropped.
    size_t stopKeying();
    bool keying() const;

    uint32_t sampleRate() const;
    // Replaces out[0, count) with the next mono samples.
    void render(float* out, size_t count);

private:
    void renderBackground(float* out, size_t count);
    void renderContacts(float* out, size_t count);
    void renderWav(float* out, size_t count);
    void renderRamp(float* out, size_t count);
    void renderBand(float* out, size_t count);
    MORSE_AUDIO_CONFIG toneConfig(double wpm, double pitchHz, double amplitude, double jitterPercent);

    TCI_SIM_SOURCE source_;
    uint32_t sampleRate_;
    const WAV_AUDIO* wav_;
    size_t wavFrame_ = 0;
    uint64_t rampCount_ = 0;
    TciSimQso qso_;
    TciSimCwTrack contacts_;
    TciSimCwTrack keyer_;
    TciSimBand band_;
    std::mt19937 noise_;
    double noiseSigma_;
};

// Sample n of the ramp: (n mod 4096) / 4096, exact in float.
float tci_sim_ramp_sample(uint64_t n);
