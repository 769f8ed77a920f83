// Windowed-sinc sample rate converter. Output time T reads the input at
// T - 136: 64 samples wait in the edge buffer and 72 more in the delay line.
#pragma once

#include <cstdint>
#include <vector>

class Resampler {
public:
    Resampler();

    // Clears the stream state; the kernel table stays.
    void reset();

    // factor = input rate / output rate. Returns the number of outputs
    // produced; out must have room for them (a dry run tells how many).
    // With out == nullptr it only counts and leaves the state as it was.
    // Returns 0 and changes nothing when nSamples is negative, when an output
    // buffer comes with a null input or with nSamples <= kWidth, when factor
    // is outside [kMinFactor, kMaxFactor] (or not a number), when the output
    // count would not fit an int, and when the input count would pass
    // kMaxSamplesTotal (reset() before that).
    int resample(float factor, int nSamples, const float* in, float* out);

    int32_t nSamplesTotal() const { return nSamplesTotal_; }

    // Exposed for tests of the kernel and the delay line.
    double sinc(double x) const;
    void new_data(float x);
    float gimme_data(int j) const;  // 0 outside the delay line

    static constexpr int kWidth = 64;
    static constexpr float kMinFactor = 1.0f / 1024.0f;
    static constexpr float kMaxFactor = 1024.0f;
    static constexpr int32_t kMaxSamplesTotal = 2000000000;

private:
    void make_sinc();
    bool accepts(float factor, int nSamples, const float* in, const float* out) const;
    void loadBlock(const float* in, int nSamples);
    bool advanceInput(int& m, int nSamples, bool store);
    double outputAt(float factor) const;

    std::vector<float> sincTable_;
    std::vector<float> delayLine_;
    int delayStart_ = 0;  // the delay line is delayLine_[delayStart_ ...] 136 long
    std::vector<float> edgeSamples_;
    std::vector<float> scratch_;
    int32_t nSamplesTotal_ = 0;
    int32_t timeInt_ = 0;
    int32_t timeLast_ = 0;
    double timeNow_ = 0.0;
};
