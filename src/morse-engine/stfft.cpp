#include "stfft.h"

#include <algorithm>

#include "fft.h"
#include "hamming_window.h"
#include "saturating_counter.h"

namespace {

bool isPowerOfTwo(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

void STFFT::clear()
{
    *this = STFFT();
}

bool STFFT::init(int sampleRate, int windowSize, int hopSize, float historySeconds)
{
    clear();
    const float history = historySeconds * static_cast<float>(sampleRate);
    const bool valid = sampleRate > 0 && isPowerOfTwo(windowSize) && windowSize <= fft::kMaxSize && hopSize > 0 &&
                       history >= static_cast<float>(windowSize) &&
                       history <= static_cast<float>(kMaxRingSize);  // false for NaN
    if (!valid)
        return false;

    const int ringSize = static_cast<int>(history);
    const int nColumns = (ringSize - windowSize) / hopSize + 1;
    sampleRate_ = sampleRate;
    window_ = hamming_window(windowSize);
    ring_.assign(ringSize, 0.0f);
    spectra_.assign(nColumns, std::vector<float>(windowSize, 0.0f));
    hopCountdown_ = hopSize;
    hopSize_ = hopSize;
    workRe_.assign(windowSize, 0.0f);
    workIm_.assign(windowSize, 0.0f);
    reversed_.assign(windowSize, 0);
    for (int i = 0; i < windowSize; ++i)
        reversed_[i] = fft::reverse(windowSize, i);
    twiddleRe_.assign(windowSize, 0.0f);
    twiddleIm_.assign(windowSize, 0.0f);
    fft::stage_twiddles(windowSize, twiddleRe_.data(), twiddleIm_.data());
    return true;
}

void STFFT::restart()
{
    sampleCount_ = 0;
    writeIndex_ = 0;
    hopCountdown_ = hopSize_;
    currentColumn_ = 0;
    std::fill(ring_.begin(), ring_.end(), 0.0f);
    for (std::vector<float>& column : spectra_)
        std::fill(column.begin(), column.end(), 0.0f);
    std::fill(workRe_.begin(), workRe_.end(), 0.0f);
    std::fill(workIm_.begin(), workIm_.end(), 0.0f);
}

bool STFFT::push(float x)
{
    if (ring_.empty())
        return false;
    ring_[writeIndex_] = x;
    if (++writeIndex_ == ringSize())
        writeIndex_ = 0;
    sampleCount_ = saturating_increment(sampleCount_);
    if (--hopCountdown_ > 0)
        return false;
    filter(writeIndex_ - windowSize());
    hopCountdown_ = hopSize_;
    if (++currentColumn_ == nColumns())
        currentColumn_ = 0;
    return true;
}

void STFFT::filter(int start)
{
    if (ring_.empty())
        return;
    const int R = ringSize();
    const int N = windowSize();
    start %= R;
    if (start < 0)
        start += R;

    // The windowed samples land in bit-reversed order right away; the
    // window may run over the end of the ring.
    float* re = workRe_.data();
    float* im = workIm_.data();
    for (int i = 0; i < N; ++i) {
        const int n = reversed_[i];
        const int at = start + n < R ? start + n : start + n - R;
        re[i] = window_[n] * ring_[at];
    }
    std::fill(workIm_.begin(), workIm_.end(), 0.0f);

    fft::butterflies_split(re, im, N, twiddleRe_.data(), twiddleIm_.data());

    float* power = spectra_[currentColumn_].data();
    for (int k = 0; k < N; ++k)
        power[k] = re[k] * re[k] + im[k] * im[k];
}

const std::vector<float>& STFFT::column(int c) const
{
    static const std::vector<float> kNone;
    return c >= 0 && c < nColumns() ? spectra_[c] : kNone;
}

std::vector<std::vector<float>> STFFT::spectrogram() const
{
    std::vector<std::vector<float>> columns;
    columns.reserve(spectra_.size());
    for (int i = 0; i < nColumns(); ++i)
        columns.push_back(spectra_[(currentColumn_ + i) % nColumns()]);
    return columns;
}
