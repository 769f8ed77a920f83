// Short-time power spectrum over a sliding history of audio.
#pragma once

#include <cstdint>
#include <vector>

class STFFT {
public:
    // Returns false, and leaves an empty analyser whose push() and filter()
    // do nothing, unless sampleRate > 0, windowSize is a power of two up to
    // fft::kMaxSize, hopSize > 0 and the history holds windowSize to
    // kMaxRingSize samples.
    bool init(int sampleRate, int windowSize, int hopSize, float historySeconds);

    // Back to the state init() left: silent history, first column current;
    // the sizes and tables stay, so nothing is allocated.
    void restart();

    // Pushes one sample; every hopSize samples a spectrum of the newest
    // windowSize samples is written to the current column, which then
    // advances. Returns true when a new column was made.
    bool push(float x);

    // One spectrum of the windowSize ring samples from ring position start
    // into the current column (start is taken modulo the ring size, so a
    // negative start counts from the end of the ring).
    void filter(int start);

    int sampleRate() const { return sampleRate_; }
    int windowSize() const { return static_cast<int>(window_.size()); }
    int ringSize() const { return static_cast<int>(ring_.size()); }
    int nColumns() const { return static_cast<int>(spectra_.size()); }
    int currentColumn() const { return currentColumn_; }
    int32_t sampleCount() const { return sampleCount_; }
    // An empty vector for c outside 0 to nColumns() - 1.
    const std::vector<float>& column(int c) const;

    // The spectrum history in time order, oldest column first.
    std::vector<std::vector<float>> spectrogram() const;

    static constexpr int kMaxRingSize = 1 << 24;

private:
    void clear();

    int sampleRate_ = 0;
    int32_t sampleCount_ = 0;  // saturates instead of wrapping
    int hopSize_ = 1;
    std::vector<float> window_;
    int writeIndex_ = 0;
    std::vector<float> ring_;
    int hopCountdown_ = 1;
    int currentColumn_ = 0;
    std::vector<std::vector<float>> spectra_;
    // Split real and imaginary halves of the transform, the bit-reversed
    // order of the window's samples and the stage twiddles, made once.
    std::vector<float> workRe_;
    std::vector<float> workIm_;
    std::vector<int> reversed_;
    std::vector<float> twiddleRe_;
    std::vector<float> twiddleIm_;
};
