// The wideband IQ stream of receiver 0: a band of CW stations around the
// receiver's centre (its DDS frequency), sent as float32 I, Q pairs at the
// IQ rate in frames paced in real time.
#pragma once

#include "morse_band_generator.h"
#include "tci_sim_band.h"
#include "tci_sim_stream.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kTciSimIqDefaultRate = 48000;
constexpr uint32_t kTciSimIqFrameSamples = 2048;  // complex samples in one frame

class TciSimIq {
public:
    TciSimIq(uint32_t stations, uint32_t seed);

    // 48000, 96000 or 192000 Hz; false leaves the rate as it was. Another
    // rate brings another band (the stations spread over the new width)
    // and, while running, pacing from `now`.
    bool setSampleRate(uint32_t sampleRate, double now);
    uint32_t sampleRate() const;

    void start(double now);
    // Returns the frames sent since start().
    uint64_t stop();
    bool running() const;
    void resume(double now);
    // Frames due by `now`, counted as sent (as TciSimStream::takeDue).
    uint64_t takeDue(double now);
    std::vector<uint8_t> nextFrame();

    // The band's stations, in order of frequency; offsets from the centre.
    std::vector<MORSE_BAND_STATION> stations() const;

private:
    uint32_t stationCount_;
    uint32_t seed_;
    uint32_t sampleRate_ = kTciSimIqDefaultRate;
    TciSimBand band_;
    TciSimStream pacer_;
    uint64_t sentBefore_ = 0;  // frames sent before the last rate change
    std::vector<float> samples_;
};

// True for the rates the simulator streams IQ at.
bool tci_sim_iq_rate_offered(uint32_t sampleRate);

// One line a station, "CALL FREQUENCY_HZ WPM SNR_DB FIRST_S" with the
// frequency absolute (centre + offset) and FIRST_S its first key-down from
// the stream's start, after a '#' line naming the columns. False with a
// reason when the file cannot be written.
bool tci_sim_write_iq_truth(const std::string& path, const std::vector<MORSE_BAND_STATION>& stations, uint64_t centreHz,
                            std::string* error);
