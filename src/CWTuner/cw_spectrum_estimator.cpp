#include "cw_spectrum_estimator.h"

#include "cw_decimator.h"
#include "cw_goertzel_bank.h"
#include "cw_grid_dft.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

namespace {

constexpr double kKaiserBeta = 3.0;
// The display's shaping: a floor at most 28 dB under the top, a range of
// at least 10 dB, nothing below 22% of it, and a curve that lifts peaks.
constexpr double kFloorSpanDb = 28.0;
constexpr double kMinRangeDb = 10.0;
constexpr double kTopFloorDb = -140.0;
constexpr double kShapeKnee = 0.22;
constexpr double kShapePower = 1.65;
// Rising bins follow fast, falling ones slowly, so keyed tones stay visible.
constexpr float kAttack = 0.34f;
constexpr float kRelease = 0.055f;
constexpr float kAmplitudeFloor = 1e-9f;
// The peak marker moves only for a peak that stands out, and then gently.
constexpr double kPeakGate = 0.08;
constexpr double kPeakFollow = 0.18;

float shaped_target(double levelDb, double floorDb, double rangeDb)
{
    const double v = std::clamp((levelDb - floorDb) / rangeDb, 0.0, 1.0);
    if (v < kShapeKnee)
        return 0.0f;
    return static_cast<float>(std::pow((v - kShapeKnee) / (1.0 - kShapeKnee), kShapePower));
}

}  // namespace

struct CW_SPECTRUM_ESTIMATOR {
    CW_DECIMATOR* decimator = nullptr;
    // Set up when the bins divide the decimated rate evenly; otherwise a
    // Goertzel filter per bin.
    CW_GRID_DFT* grid = nullptr;
    int32_t onGrid = 0;
    // The newest input samples, each written twice `capacity` apart so that
    // any stretch of them lies in one piece.
    std::vector<float> ring;
    size_t capacity = 0;
    std::vector<float> decimated;  // the frame brought down, oldest first
    std::vector<float> window;
    std::vector<float> frame;
    float coefficients[kCWSpectrumBinCount] = {};
    float power[kCWSpectrumBinCount] = {};
    float amplitude[kCWSpectrumBinCount] = {};  // of the last frame, at least kAmplitudeFloor
    size_t frameSize = 0;                       // decimated samples per frame
    size_t head = 0;                            // where the next input sample goes
    size_t filled = 0;                          // input samples since the rate was set
    double rate = 0.0;                          // input rate the tables were built for
    double lastAccepted = 0.0;
    double smoothedPeakHz = 0.0;  // 0 until the first search
    CW_SPECTRUM_SNAPSHOT snapshot{};
};

namespace {

// Window and coefficients for the decimated rate; the frame spans the same
// time as kCWSpectrumFrameSize input samples.
void prepare(CW_SPECTRUM_ESTIMATOR* e, double sampleRate)
{
    const double output = cw_decimator_configure(e->decimator, sampleRate);
    const size_t factor = cw_decimator_factor(e->decimator);
    e->frameSize = kCWSpectrumFrameSize / factor;
    const double norm = cw_bessel_i0(kKaiserBeta);
    const double last = static_cast<double>(e->frameSize - 1);
    for (size_t n = 0; n < e->frameSize; ++n) {
        const double t = 2.0 * static_cast<double>(n) / last - 1.0;
        e->window[n] = static_cast<float>(cw_bessel_i0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - t * t))) / norm);
    }
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k)
        e->coefficients[k] = static_cast<float>(
            2.0 * std::cos(2.0 * std::numbers::pi * static_cast<double>(k) * kCWSpectrumBinHz / output));
    const double period = output / kCWSpectrumBinHz;
    e->onGrid = std::fabs(period - std::round(period)) < 1e-9
                    ? cw_grid_dft_configure(e->grid, static_cast<size_t>(std::round(period)))
                    : 0;
    e->rate = sampleRate;
    e->head = 0;
    e->filled = 0;
    std::fill(e->ring.begin(), e->ring.end(), 0.0f);
}

// Not finite (the magnitude NaN or above the largest float): silence.
float finite_or_zero(float x)
{
    return std::fabs(x) <= FLT_MAX ? x : 0.0f;
}

// n samples to both copies of the ring from `at` on (no wrap within). Whole
// pieces go through a local buffer, which the compiler knows to alias
// nothing, so that their loop vectorises.
void write_stretch(CW_SPECTRUM_ESTIMATOR* e, size_t at, const float* in, size_t n)
{
    constexpr size_t kPiece = 64;
    float* first = e->ring.data() + at;
    float* second = first + e->capacity;
    float piece[kPiece];
    size_t i = 0;
    for (; n - i >= kPiece; i += kPiece) {
        for (size_t j = 0; j < kPiece; ++j)
            piece[j] = finite_or_zero(in[i + j]);
        std::copy_n(piece, kPiece, first + i);
        std::copy_n(piece, kPiece, second + i);
    }
    for (; i < n; ++i) {
        first[i] = finite_or_zero(in[i]);
        second[i] = first[i];
    }
}

// Only the newest capacity samples can reach a frame.
void append(CW_SPECTRUM_ESTIMATOR* e, const float* samples, size_t count)
{
    const size_t skip = count > e->capacity ? count - e->capacity : 0;
    e->head = (e->head + skip) % e->capacity;
    for (size_t i = skip; i < count;) {
        const size_t n = std::min(count - i, e->capacity - e->head);
        write_stretch(e, e->head, samples + i, n);
        e->head = e->head + n == e->capacity ? 0 : e->head + n;
        i += n;
    }
    e->filled = std::min(e->capacity, e->filled + count);
}

// A frame needs the time of kCWSpectrumFrameSize input samples; what the
// filter reads before them is silence until the ring has it.
bool frame_ready(const CW_SPECTRUM_ESTIMATOR& e)
{
    return e.filled >= e.frameSize * cw_decimator_factor(e.decimator);
}

// A clock that went back counts as elapsed time; otherwise a step back
// would freeze the display for as long as the step.
bool throttle_accepts(CW_SPECTRUM_ESTIMATOR* e, double now)
{
    const double elapsed = now - e->lastAccepted;
    if (e->lastAccepted > 0.0 && elapsed >= 0.0 && elapsed < kCWSpectrumThrottleSeconds)
        return false;
    e->lastAccepted = now;
    return true;
}

void compute_levels(CW_SPECTRUM_ESTIMATOR* e)
{
    const size_t n = e->frameSize;
    const size_t span = cw_decimator_span(e->decimator, n);
    cw_decimator_run(e->decimator, e->ring.data() + e->head + e->capacity - span, n, e->decimated.data());
    for (size_t i = 0; i < n; ++i)
        e->frame[i] = e->window[i] * e->decimated[i];
    if (e->onGrid)
        cw_grid_dft_power(e->grid, e->frame.data(), n, kCWSpectrumBinCount, e->power);
    else
        cw_goertzel_bank_power(e->frame.data(), n, e->coefficients, kCWSpectrumBinCount, e->power);
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const double magnitude = std::sqrt(std::max(0.0, static_cast<double>(e->power[k])));
        // Held to the float range before narrowing, so huge input stays finite.
        const double amplitude = std::min(2.0 * magnitude / static_cast<double>(n), static_cast<double>(FLT_MAX));
        e->amplitude[k] = std::max(static_cast<float>(amplitude), kAmplitudeFloor);
    }
}

double level_db(float amplitude)
{
    return 20.0 * std::log10(static_cast<double>(amplitude));
}

// Only the extremes and the bins above the knee need their level in dB.
// The logarithm keeps the amplitudes' order: the extremes lie among the
// bins within a hair of the least and the greatest amplitude, and a bin
// clearly under the knee's amplitude shapes to 0 whatever its exact level.
void shape_and_smooth(CW_SPECTRUM_ESTIMATOR* e)
{
    const float* amplitude = e->amplitude;
    const auto [least, most] = std::minmax_element(amplitude, amplitude + kCWSpectrumBinCount);
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        if (amplitude[k] <= *least * (1.0f + 1e-5f))
            low = std::min(low, level_db(amplitude[k]));
        if (amplitude[k] >= *most * (1.0f - 1e-5f))
            high = std::max(high, level_db(amplitude[k]));
    }
    const double top = std::max(kTopFloorDb, high);
    const double floorDb = std::max(low, top - kFloorSpanDb);
    const double range = std::max(kMinRangeDb, top - floorDb);
    const double kneeAmplitude = std::pow(10.0, (floorDb + kShapeKnee * range) / 20.0) * (1.0 - 1e-6);
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const float target =
            amplitude[k] < kneeAmplitude ? 0.0f : shaped_target(level_db(amplitude[k]), floorDb, range);
        float& s = e->snapshot.bins[k];
        const float alpha = s < target ? kAttack : kRelease;
        s = (1.0f - alpha) * s + alpha * target;
    }
}

// The strongest bin within the search half-width of the pitch (the lowest
// wins a tie), smoothed; the first search sets the smoother whatever its level.
void track_peak(CW_SPECTRUM_ESTIMATOR* e)
{
    const double pitch = e->snapshot.pitchHz;
    const double lo = std::max(0.0, pitch - kCWSpectrumPeakSearchHz);
    const double hi = std::min(kCWSpectrumSpanHz, pitch + kCWSpectrumPeakSearchHz);
    double best = -1.0;
    size_t bestBin = 0;
    for (size_t k = 0; k < kCWSpectrumBinCount; ++k) {
        const double f = static_cast<double>(k) * kCWSpectrumBinHz;
        if (f >= lo && f <= hi && e->snapshot.bins[k] > best) {
            best = e->snapshot.bins[k];
            bestBin = k;
        }
    }
    const double raw = static_cast<double>(bestBin) * kCWSpectrumBinHz;
    if (e->smoothedPeakHz <= 0.0)
        e->smoothedPeakHz = raw;
    else if (best > kPeakGate)
        e->smoothedPeakHz = kPeakFollow * raw + (1.0 - kPeakFollow) * e->smoothedPeakHz;
    e->snapshot.peakHz = e->smoothedPeakHz;
    e->snapshot.peakLevel = static_cast<float>(std::max(best, 0.0));
    e->snapshot.peakMarkerVisible = e->snapshot.peakLevel > kCWSpectrumPeakMarkerLevel ? 1 : 0;
}

}  // namespace

CW_SPECTRUM_ESTIMATOR* cw_spectrum_estimator_create(void)
{
    auto* e = new (std::nothrow) CW_SPECTRUM_ESTIMATOR;
    if (e == nullptr)
        return nullptr;
    e->decimator = cw_decimator_create();
    e->grid = cw_grid_dft_create();
    e->capacity = kCWSpectrumFrameSize + cw_decimator_longest_kernel();
    try {
        e->ring.assign(2 * e->capacity, 0.0f);
        e->decimated.assign(kCWSpectrumFrameSize, 0.0f);
        e->window.assign(kCWSpectrumFrameSize, 0.0f);
        e->frame.assign(kCWSpectrumFrameSize, 0.0f);
    } catch (...) {
        cw_spectrum_estimator_destroy(e);
        return nullptr;
    }
    if (e->decimator == nullptr || e->grid == nullptr) {
        cw_spectrum_estimator_destroy(e);
        return nullptr;
    }
    e->snapshot.pitchHz = 600.0;
    return e;
}

int32_t cw_spectrum_estimator_process(CW_SPECTRUM_ESTIMATOR* e, const float* samples, size_t count, double sampleRate,
                                      double pitchHz, double nowSeconds)
{
    if (e == nullptr || samples == nullptr || count == 0 ||
        !(sampleRate >= kCWDecimatorLowestRate && sampleRate <= kCWDecimatorHighestRate))
        return 0;
    if (std::fabs(e->rate - sampleRate) >= 0.5)
        prepare(e, sampleRate);
    if (std::isfinite(pitchHz))
        e->snapshot.pitchHz = pitchHz;
    append(e, samples, count);
    if (!throttle_accepts(e, nowSeconds) || !frame_ready(*e))
        return 0;
    compute_levels(e);
    shape_and_smooth(e);
    track_peak(e);
    return 1;
}

void cw_spectrum_estimator_get_snapshot(const CW_SPECTRUM_ESTIMATOR* e, CW_SPECTRUM_SNAPSHOT* snapshot)
{
    if (snapshot == nullptr)
        return;
    if (e == nullptr) {
        *snapshot = CW_SPECTRUM_SNAPSHOT{
            .bins = {}, .pitchHz = 600.0, .peakHz = 0.0, .peakLevel = 0.0f, .peakMarkerVisible = 0};
        return;
    }
    *snapshot = e->snapshot;
}

double cw_spectrum_estimator_peak_hz(const CW_SPECTRUM_ESTIMATOR* e)
{
    return e != nullptr ? e->snapshot.peakHz : 0.0;
}

void cw_spectrum_estimator_destroy(CW_SPECTRUM_ESTIMATOR* e)
{
    if (e == nullptr)
        return;
    cw_decimator_destroy(e->decimator);
    cw_grid_dft_destroy(e->grid);
    delete e;
}
