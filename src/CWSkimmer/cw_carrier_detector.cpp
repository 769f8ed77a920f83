#include "cw_carrier_detector.h"

#include "fft.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>
#include <numbers>

namespace {

constexpr int kFrame = 1024;           // samples per spectrum: 7.8 Hz bins at 8000 Hz
constexpr size_t kHistory = 128;       // frames of levels kept per bin: 2.56 s
constexpr size_t kFramesPerList = 10;  // a list of carriers every 200 ms
constexpr size_t kLeastFrames = 50;    // a second of levels before any list
constexpr double kKeyDownQuantile = 0.85;
constexpr double kKeyUpQuantile = 0.15;
// The carrier's level: dashes fill the frame, dots and gaps do not.
constexpr double kCarrierQuantile = 0.97;
// Keying turns the carrier on and off again and again; a carrier switched
// on once, or a crash, crosses its middle level only once or twice.
constexpr size_t kLeastCrossings = 6;
// In a bin of noise alone the power is exponentially distributed: its 15th
// percentile lies 7.9 dB under its mean.
constexpr float kKeyUpBelowMeanDb = 7.9f;
constexpr double kWindowEnbwBins = 2.004;  // four-term Blackman-Harris
constexpr int kPeakHalfWidth = 4;          // the window's main lobe, bins
constexpr int kSidebandHalfWidth = 12;     // keying sidebands of a strong signal reach this far
constexpr float kSidebandDb = 35.0f;       // ... and stay this far below its carrier
constexpr size_t kMaxCarriers = 256;
// The noise around a carrier: the key-up levels of the bins within this
// many bins either side, of which most hear no station at that moment.
constexpr int kNoiseHalfWidth = 48;
constexpr double kNoiseQuantile = 0.3;
constexpr int kNoiseStep = 16;
constexpr int kNoiseSampleStride = 4;
constexpr float kQuiet = 1e30f;  // the levels of a bin passed over
// A station's key-down level stands this far over the noise around it; in
// noise alone the 85th percentile lies only 2.8 dB over the mean.
constexpr float kLeastOverNoiseDb = 15.0f;

}  // namespace

struct CW_CARRIER_DETECTOR {
    CW_CARRIER_DETECTOR_CONFIG config;
    size_t hop;
    size_t sinceHop;
    size_t head;
    size_t samplesIn;  // until a whole frame came in, frames are not measured
    float inRe[2 * kFrame];
    float inIm[2 * kFrame];
    float window[kFrame];
    float fftData[2 * kFrame];
    // The span's bins in frequency order and their FFT indices.
    int firstBin;
    size_t binCount;
    size_t framesStored;
    size_t historyAt;
    size_t framesToList;
    // Powers, not levels in dB: the logarithm keeps their order, so the
    // quantiles are chosen among powers and only the chosen ones converted.
    float powers[kFrame][kHistory];
    float keyDown[kFrame];
    float keyUp[kFrame];
    float carrierLevel[kFrame];
    float noise[kFrame];
    float scratch[kFrame];
    CW_CARRIER carriers[kMaxCarriers];
    size_t carrierCount;
};

namespace {

CW_CARRIER_DETECTOR_CONFIG clamp_config(const CW_CARRIER_DETECTOR_CONFIG& c)
{
    CW_CARRIER_DETECTOR_CONFIG out = c;
    if (!std::isfinite(out.sampleRate) || out.sampleRate < 4000.0 || out.sampleRate > 16000.0)
        out.sampleRate = 8000.0;
    const double nyquist = 0.5 * out.sampleRate;
    if (!std::isfinite(out.lowHz))
        out.lowHz = 300.0;
    if (!std::isfinite(out.highHz))
        out.highHz = 3200.0;
    out.lowHz = std::clamp(out.lowHz, -nyquist, nyquist);
    out.highHz = std::clamp(out.highHz, -nyquist, nyquist);
    if (out.lowHz > out.highHz)
        std::swap(out.lowHz, out.highHz);
    if (!std::isfinite(out.keyedDb) || out.keyedDb <= 0.0)
        out.keyedDb = 10.0;
    return out;
}

double bin_hz(const CW_CARRIER_DETECTOR* d)
{
    return d->config.sampleRate / kFrame;
}

void place_span(CW_CARRIER_DETECTOR* d)
{
    const double bin = bin_hz(d);
    const int lo = static_cast<int>(std::ceil(d->config.lowHz / bin));
    const int hi = static_cast<int>(std::floor(d->config.highHz / bin));
    d->firstBin = std::max(lo, -kFrame / 2 + 1);
    const int last = std::min(hi, kFrame / 2 - 1);
    d->binCount = last >= d->firstBin ? static_cast<size_t>(last - d->firstBin + 1) : 0;
}

void start_afresh(CW_CARRIER_DETECTOR* d)
{
    d->hop = static_cast<size_t>(std::lround(d->config.sampleRate / 50.0));
    d->sinceHop = 0;
    d->head = 0;
    d->samplesIn = 0;
    d->framesStored = 0;
    d->historyAt = 0;
    d->framesToList = kFramesPerList;
    d->carrierCount = 0;
    std::fill(std::begin(d->inRe), std::end(d->inRe), 0.0f);
    std::fill(std::begin(d->inIm), std::end(d->inIm), 0.0f);
}

size_t rank_of(size_t n, double q)
{
    return static_cast<size_t>(q * static_cast<double>(n - 1) + 0.5);
}

// Non-decreasing over all positive floats (each one was tried), which is
// what lets a quantile be taken before the conversion.
float level_db(float power)
{
    return 10.0f * std::log10(power);
}

// The largest power whose level is at most `db`, so that a level is over
// `db` exactly when its power is over this: found from the nearest guess
// by stepping one float at a time, which the map's order makes exact.
float power_at_most(float db)
{
    float p = std::pow(10.0f, db / 10.0f);
    while (level_db(p) > db)
        p = std::nextafter(p, 0.0f);
    while (p < HUGE_VALF && level_db(std::nextafter(p, HUGE_VALF)) <= db)
        p = std::nextafter(p, HUGE_VALF);
    return p;
}

float percentile(float* values, size_t n, double q)
{
    const size_t at = rank_of(n, q);
    std::nth_element(values, values + at, values + n);
    return values[at];
}

void measure_frame(CW_CARRIER_DETECTOR* d)
{
    const float* re = d->inRe + d->head;
    const float* im = d->inIm + d->head;
    for (int i = 0; i < kFrame; ++i) {
        d->fftData[2 * i] = re[i] * d->window[i];
        d->fftData[2 * i + 1] = im[i] * d->window[i];
    }
    fft::transform(d->fftData, kFrame);
    for (size_t b = 0; b < d->binCount; ++b) {
        const int k = (d->firstBin + static_cast<int>(b) + kFrame) % kFrame;
        const float r = d->fftData[2 * k];
        const float i = d->fftData[2 * k + 1];
        d->powers[b][d->historyAt] = r * r + i * i + 1e-20f;
    }
    d->historyAt = (d->historyAt + 1) % kHistory;
    if (d->framesStored < kHistory)
        ++d->framesStored;
}

// The noise mean around every bin, from the key-up levels of the bins
// within kNoiseHalfWidth, measured every kNoiseStep bins and interpolated.
void measure_noise(CW_CARRIER_DETECTOR* d)
{
    const int count = static_cast<int>(d->binCount);
    int previous = -1;
    float previousNoise = 0.0f;
    for (int centre = 0;; centre = std::min(centre + kNoiseStep, count - 1)) {
        // The noise changes slowly across the band: every kNoiseSampleStride-th
        // bin's key-up level tells it.
        const int lo = std::max(0, centre - kNoiseHalfWidth);
        const int hi = std::min(count - 1, centre + kNoiseHalfWidth);
        size_t n = 0;
        for (int b = lo - lo % kNoiseSampleStride; b <= hi; b += kNoiseSampleStride) {
            if (b >= lo)
                d->scratch[n++] = d->keyUp[b];
        }
        const float noise = percentile(d->scratch, n, kNoiseQuantile) + kKeyUpBelowMeanDb;
        if (previous < 0) {
            d->noise[centre] = noise;
        } else {
            for (int b = previous + 1; b <= centre; ++b) {
                const float t = static_cast<float>(b - previous) / static_cast<float>(centre - previous);
                d->noise[b] = previousNoise + t * (noise - previousNoise);
            }
        }
        previous = centre;
        previousNoise = noise;
        if (centre == count - 1)
            break;
    }
}

// How often the bin's level crossed the middle of its key-down and key-up
// levels, oldest to newest (the ring starts at the write position once full).
size_t crossings(const CW_CARRIER_DETECTOR* d, size_t b)
{
    const size_t n = d->framesStored;
    const float middle = power_at_most(0.5f * (d->keyDown[b] + d->keyUp[b]));
    const float* powers = d->powers[b];
    const size_t oldest = n == kHistory ? d->historyAt : 0;
    bool above = powers[oldest] > middle;
    size_t crossed = 0;
    for (size_t i = 1; i < n; ++i) {
        const bool now = powers[(oldest + i) % kHistory] > middle;
        crossed += now != above;
        above = now;
    }
    return crossed;
}

void make_list(CW_CARRIER_DETECTOR* d)
{
    const size_t n = d->framesStored;
    d->carrierCount = 0;
    if (d->binCount == 0)
        return;
    const size_t up = rank_of(n, kKeyUpQuantile);
    const size_t down = rank_of(n, kKeyDownQuantile);
    const size_t carrier = rank_of(n, kCarrierQuantile);
    for (size_t b = 0; b < d->binCount; b += kNoiseSampleStride) {
        std::copy(d->powers[b], d->powers[b] + n, d->scratch);
        d->keyUp[b] = level_db(percentile(d->scratch, n, kKeyUpQuantile));
    }
    measure_noise(d);
    for (size_t b = 0; b < d->binCount; ++b) {
        // Most bins hear noise alone: their loudest frame stays far below
        // what a station needs, and they are passed over at that.
        const float* powers = d->powers[b];
        float loudest = powers[0];
        for (size_t i = 1; i < n; ++i)
            loudest = std::max(loudest, powers[i]);
        if (level_db(loudest) - d->noise[b] < kLeastOverNoiseDb) {
            d->keyDown[b] = d->keyUp[b] = d->carrierLevel[b] = -kQuiet;
            continue;
        }
        // Each selection leaves the higher values above it, so the next
        // one searches only those.
        float* v = d->scratch;
        std::copy(powers, powers + n, v);
        std::nth_element(v, v + up, v + n);
        std::nth_element(v + up + 1, v + down, v + n);
        std::nth_element(v + down + 1, v + carrier, v + n);
        d->keyUp[b] = level_db(v[up]);
        d->keyDown[b] = level_db(v[down]);
        d->carrierLevel[b] = level_db(v[carrier]);
    }
    const double bin = bin_hz(d);
    const float toNoiseIn2500 = static_cast<float>(10.0 * std::log10(2500.0 / (kWindowEnbwBins * bin)));
    const int count = static_cast<int>(d->binCount);
    for (int b = 0; b < count && d->carrierCount < kMaxCarriers; ++b) {
        const float top = d->keyDown[b];
        if (top - d->keyUp[b] < static_cast<float>(d->config.keyedDb) || crossings(d, b) < kLeastCrossings)
            continue;
        bool peak = true;
        float strongest = top;
        for (int j = std::max(0, b - kSidebandHalfWidth); j <= std::min(count - 1, b + kSidebandHalfWidth); ++j) {
            const float v = d->keyDown[j];
            strongest = std::max(strongest, v);
            if (std::abs(j - b) <= kPeakHalfWidth && j != b && (v > top || (v == top && j < b)))
                peak = false;
        }
        if (!peak || top < strongest - kSidebandDb)
            continue;
        const float noise = d->noise[b];
        if (top - noise < kLeastOverNoiseDb)
            continue;
        double offset = 0.0;
        if (b > 0 && b + 1 < count) {
            const double l = d->keyDown[b - 1];
            const double r = d->keyDown[b + 1];
            const double curvature = l - 2.0 * top + r;
            if (curvature < 0.0 && l > -kQuiet && r > -kQuiet)
                offset = std::clamp(0.5 * (l - r) / curvature, -0.5, 0.5);
        }
        d->carriers[d->carrierCount++] = CW_CARRIER{
            .frequencyHz = (d->firstBin + b + offset) * bin,
            .snrDb = d->carrierLevel[b] - noise - toNoiseIn2500,
            .spreadDb = top - d->keyUp[b],
        };
    }
}

}  // namespace

CW_CARRIER_DETECTOR_CONFIG cw_carrier_detector_default_config(void)
{
    return CW_CARRIER_DETECTOR_CONFIG{.sampleRate = 8000.0, .lowHz = 300.0, .highHz = 3200.0, .keyedDb = 10.0};
}

CW_CARRIER_DETECTOR* cw_carrier_detector_create(const CW_CARRIER_DETECTOR_CONFIG* config)
{
    CW_CARRIER_DETECTOR* d = new (std::nothrow) CW_CARRIER_DETECTOR{};
    if (d == nullptr)
        return nullptr;
    for (int i = 0; i < kFrame; ++i) {
        const double x = 2.0 * std::numbers::pi * i / kFrame;
        d->window[i] =
            static_cast<float>(0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x));
    }
    d->config = clamp_config(config ? *config : cw_carrier_detector_default_config());
    place_span(d);
    start_afresh(d);
    return d;
}

void cw_carrier_detector_configure(CW_CARRIER_DETECTOR* d, const CW_CARRIER_DETECTOR_CONFIG* config)
{
    if (d == nullptr || config == nullptr)
        return;
    const CW_CARRIER_DETECTOR_CONFIG next = clamp_config(*config);
    const bool newRate = next.sampleRate != d->config.sampleRate;
    const bool newSpan = next.lowHz != d->config.lowHz || next.highHz != d->config.highHz;
    d->config = next;
    if (newRate || newSpan) {
        place_span(d);
        start_afresh(d);
    }
}

void cw_carrier_detector_reset(CW_CARRIER_DETECTOR* d)
{
    if (d != nullptr)
        start_afresh(d);
}

int32_t cw_carrier_detector_process(CW_CARRIER_DETECTOR* d, const float* re, const float* im, size_t count)
{
    if (d == nullptr || re == nullptr)
        return 0;
    int32_t listed = 0;
    for (size_t i = 0; i < count; ++i) {
        const float x = re[i];
        const float y = im ? im[i] : 0.0f;
        d->inRe[d->head] = d->inRe[d->head + kFrame] = x;
        d->inIm[d->head] = d->inIm[d->head + kFrame] = y;
        d->head = d->head + 1 == kFrame ? 0 : d->head + 1;
        if (++d->sinceHop < d->hop)
            continue;
        d->sinceHop = 0;
        d->samplesIn += d->hop;
        if (d->samplesIn < kFrame)
            continue;
        measure_frame(d);
        if (--d->framesToList > 0)
            continue;
        d->framesToList = kFramesPerList;
        if (d->framesStored >= kLeastFrames) {
            make_list(d);
            listed = 1;
        }
    }
    return listed;
}

size_t cw_carrier_detector_get_carriers(const CW_CARRIER_DETECTOR* d, CW_CARRIER* carriers, size_t capacity)
{
    if (d == nullptr || carriers == nullptr)
        return 0;
    const size_t n = std::min(capacity, d->carrierCount);
    std::copy(d->carriers, d->carriers + n, carriers);
    return n;
}

double cw_carrier_detector_bin_hz(const CW_CARRIER_DETECTOR* d)
{
    return d ? bin_hz(d) : 8000.0 / kFrame;
}

void cw_carrier_detector_destroy(CW_CARRIER_DETECTOR* d)
{
    delete d;
}
