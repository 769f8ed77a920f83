// Decode loop: pull input through the callback, bring it to 4000 Hz, cut it
// into frames and run the symbol decoder on each.
#include "qomorse_impl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// Anything louder than this is not audio; clamping keeps the envelope and
// its statistics finite.
constexpr float kMaxSampleMagnitude = 1000.0f;
constexpr int kMinResampleBlock = 128;

float elapsed_ms(Clock::time_point since)
{
    return std::chrono::duration<float, std::milli>(Clock::now() - since).count();
}

enum class InputPath { kDirect, kDecimate, kResample };

InputPath input_path(float sampleRateInp)
{
    if (sampleRateInp == 4000.0f)
        return InputPath::kDirect;
    const auto rate = static_cast<int64_t>(sampleRateInp);
    if (rate % 4000 == 0)
        return InputPath::kDecimate;
    return InputPath::kResample;
}

float sanitized_sample(float x)
{
    if (!std::isfinite(x))
        return 0.0f;
    return std::clamp(x, -kMaxSampleMagnitude, kMaxSampleMagnitude);
}

template <typename T>
void convert_samples(const uint8_t* raw, float* out, int n, float offset, float scale)
{
    for (int i = 0; i < n; ++i) {
        T x;
        std::memcpy(&x, raw + static_cast<size_t>(i) * sizeof(T), sizeof(T));
        out[i] = (static_cast<float>(x) - offset) * scale;
    }
}

}  // namespace

uint32_t QoMorse::Impl::bytesWanted(float rateFactor)
{
    switch (input_path(sampleRateInp)) {
    case InputPath::kDirect: return static_cast<uint32_t>(samplesNeeded * sampleSizeBytesInp);
    case InputPath::kDecimate:
        return static_cast<uint32_t>(static_cast<float>(samplesNeeded * sampleSizeBytesInp) * rateFactor);
    case InputPath::kResample: break;
    }
    // A null output only counts and leaves the resampler's state as it was.
    const int n = resampler.resample(1.0f / rateFactor, samplesNeeded, nullptr, nullptr);
    return static_cast<uint32_t>(n * sampleSizeBytesInp);
}

void QoMorse::Impl::convertInput(int n)
{
    const uint8_t* raw = rawInput.data();
    float* out = convertedInput.data();
    switch (sampleFormatInp) {
    case QOMORSE_SAMPLE_FORMAT_U8: convert_samples<uint8_t>(raw, out, n, 128.0f, 0.0078125f); break;
    case QOMORSE_SAMPLE_FORMAT_I8: convert_samples<int8_t>(raw, out, n, 0.0f, 0.0078125f); break;
    case QOMORSE_SAMPLE_FORMAT_U16: convert_samples<uint16_t>(raw, out, n, 32768.0f, 3.0517578125e-05f); break;
    case QOMORSE_SAMPLE_FORMAT_I16: convert_samples<int16_t>(raw, out, n, 0.0f, 3.0517578125e-05f); break;
    default:
        // Float input lands in place; only it can carry NaN or absurd values.
        for (int i = 0; i < n; ++i)
            out[i] = sanitized_sample(out[i]);
        break;
    }
}

// Appends n converted samples to the frame buffer after the `waiting` ones
// and returns the new total, or sets *failed.
int QoMorse::Impl::fillFrameBuffer(int waiting, int n, float rateFactor, bool* failed)
{
    float* frame = frameBuffer.data() + waiting;
    switch (input_path(sampleRateInp)) {
    case InputPath::kDirect: std::copy_n(convertedInput.data(), n, frame); return waiting + n;
    case InputPath::kDecimate: {
        if (decodeParameters.applyFilterLowPass && lowPass.active())
            lowPass.process(convertedInput.data(), n);
        const int step = static_cast<int>(rateFactor);
        int m = 0;
        for (int i = 0; i < n; i += step)
            frame[m++] = convertedInput[static_cast<size_t>(i)];
        return waiting + m;
    }
    case InputPath::kResample: break;
    }
    if (n <= kMinResampleBlock) {
        std::fprintf(stderr,
                     "Failure to resample data - provided samples (%d) are less than the "
                     "allowed minimum (%d)\n",
                     n, kMinResampleBlock);
        *failed = true;
        return waiting;
    }
    if (resampler.nSamplesTotal() > rateFactor * 60.0f * kInternalRate)
        resampler.reset();
    const int expected = resampler.resample(rateFactor, n, convertedInput.data(), nullptr);
    if (waiting + expected > kInputBufferSamples) {
        std::fprintf(stderr, "Failure to resample data - %d samples exceed the frame buffer\n", expected);
        *failed = true;
        return waiting;
    }
    return waiting + resampler.resample(rateFactor, n, convertedInput.data(), frame);
}

bool QoMorse::Impl::decode(const qomorse_CBWaveformInp& callback)
{
    bool result = false;
    if (txPending || !callback || !inputUsable || sampleSizeBytesInp == 0) {
        lastDecodeResult = false;
        return false;
    }
    const float rateFactor = sampleRateInp / static_cast<float>(kInternalRate);
    const bool floatInput = sampleFormatInp == QOMORSE_SAMPLE_FORMAT_F32;
    void* destination = floatInput ? static_cast<void*>(convertedInput.data()) : static_cast<void*>(rawInput.data());
    for (;;) {
        const auto start = Clock::now();
        if (samplesNeeded < samplesPerFrame)
            samplesNeeded += samplesPerFrame;
        const uint32_t wanted = bytesWanted(rateFactor);
        const uint32_t wantedSamples = wanted / static_cast<uint32_t>(sampleSizeBytesInp);
        if (wantedSamples > static_cast<uint32_t>(kInputBufferSamples)) {
            std::fprintf(stderr, "Failure during capture - request of %u samples exceeds the input buffer (%d)\n",
                         wantedSamples, kInputBufferSamples);
            samplesNeeded = samplesPerFrame;
            break;
        }
        const uint32_t got = callback(destination, wanted);
        if (got == 0)
            break;
        const auto size = static_cast<uint32_t>(sampleSizeBytesInp);
        if (got % size != 0) {
            std::fprintf(stderr,
                         "Failure during capture - provided bytes (%d) are not multiple of "
                         "sample size (%d)\n",
                         static_cast<int>(got), sampleSizeBytesInp);
            samplesNeeded = samplesPerFrame;
            break;
        }
        if (got != wanted) {
            std::fprintf(stderr, "Failure during capture - %s samples were provided (%d) than requested (%d)\n",
                         got < wanted ? "less" : "more", static_cast<int>(got / size), static_cast<int>(wantedSamples));
            samplesNeeded = samplesPerFrame;
            break;
        }
        const int n = static_cast<int>(got / size);
        convertInput(n);
        const int waiting = samplesNeeded > samplesPerFrame ? 2 * samplesPerFrame - samplesNeeded : 0;
        bool failed = false;
        int total = fillFrameBuffer(waiting, n, rateFactor, &failed);
        if (failed) {
            samplesNeeded = samplesPerFrame;
            break;
        }
        if (total < samplesPerFrame) {
            // The resampler's output varies by a sample from read to read;
            // a partial frame only means the next read completes it.
            samplesNeeded = samplesPerFrame - total;
            continue;
        }
        statistics.timeResample_ms = elapsed_ms(start);
        float* frame = frameBuffer.data();
        while (total >= samplesPerFrame) {
            decodeFrame(frame);
            total -= samplesPerFrame;
            std::copy_n(frame + samplesPerFrame, total, frame);
        }
        samplesNeeded = samplesPerFrame - total;
        result = true;
        if (txPending)
            break;
    }
    lastDecodeResult = result;
    return result;
}
