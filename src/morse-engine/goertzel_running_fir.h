// Tone envelope: for every sample, the power at one frequency over the
// trailing Hamming-windowed block, kept for a history of a few seconds.
#pragma once

#include <cstdint>
#include <vector>

class GoertzelRunningFIR {
public:
    // Returns false, and leaves an empty filter whose process() and
    // recompute() do nothing, unless sampleRate > 0, windowSize > 0 and the
    // history holds more than windowSize and at most kMaxRingSize samples.
    bool init(float sampleRate, int windowSize, float historySeconds);

    // Pushes n samples; once the window is full each sample yields one
    // envelope value at the given frequency.
    void process(const float* samples, int n, float frequency);

    // Rebuilds the whole envelope history from the input history at a new
    // frequency.
    void recompute(float frequency);

    // Copies the envelope ring in time order, oldest first, into the
    // envelope copy and returns it. Allocates nothing.
    const std::vector<float>& envelopeInTimeOrder();

    int windowSize() const { return static_cast<int>(window_.size()); }
    int ringSize() const { return static_cast<int>(ring_.size()); }
    int envelopeSize() const { return static_cast<int>(envelope_.size()); }
    int outputIndex() const { return outputIndex_; }
    int32_t sampleCount() const { return sampleCount_; }
    const std::vector<float>& envelopeRing() const { return envelope_; }

    static constexpr int kMaxRingSize = 1 << 24;

private:
    // Envelope values computed side by side: independent recurrences let the
    // CPU overlap their latencies.
    static constexpr int kLanes = 8;

    void clear();
    void setFrequency(float frequency);
    const float* windowSamples(int start, int count);
    void emitValues(int start, int count);
    void storeValue(float value);

    int32_t sampleCount_ = 0;  // saturates instead of wrapping
    float sampleRate_ = 0.0f;
    float coefficient_ = 0.0f;
    float sine_ = 0.0f;
    float cosine_ = 0.0f;
    std::vector<float> window_;
    int inputIndex_ = 0;
    std::vector<float> ring_;
    int outputIndex_ = 0;
    std::vector<float> envelope_;
    std::vector<float> envelopeCopy_;
    std::vector<float> wrapped_;  // windows that run over the ring's end, straightened
};
