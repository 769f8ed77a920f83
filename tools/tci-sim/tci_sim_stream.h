// The receive audio stream of one connection: its format as the client set
// it, real-time pacing and framing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TciSimAudio;

class TciSimStream {
public:
    // forceStereo sends two channels whatever the client asks for.
    TciSimStream(uint32_t sampleRate, uint32_t frameSamples, bool forceStereo);

    // "int16", "int24", "int32" or "float32"; false leaves the type as it was.
    bool setSampleType(const std::string& name);
    std::string sampleTypeName() const;
    bool setChannels(uint32_t channels);  // 1 or 2
    uint32_t channels() const;            // as sent
    bool setFrameSamples(uint32_t frameSamples, double now);
    uint32_t frameSamples() const;
    uint32_t sampleRate() const;

    void start(double now);
    // Returns the frames sent since start().
    uint64_t stop();
    bool running() const;
    // Goes on at real time from now, leaving out the frames missed since.
    void resume(double now);
    // Frames due by `now`, counted as sent; after a long gap at most one
    // second's worth, the rest left out.
    uint64_t takeDue(double now);
    // The next frame of `audio`, whose rate must be the stream's.
    std::vector<uint8_t> nextFrame(TciSimAudio* audio);

private:
    uint32_t sampleRate_;
    uint32_t frameSamples_;
    uint32_t format_;
    uint32_t channels_ = 1;
    bool forceStereo_;
    bool running_ = false;
    double start_ = 0.0;
    uint64_t paced_ = 0;  // frames counted since start_
    uint64_t sent_ = 0;   // frames sent since start()
    std::vector<float> mono_;
    std::vector<float> interleaved_;
};
