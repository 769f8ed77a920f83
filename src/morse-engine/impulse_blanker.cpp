#include "impulse_blanker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
// The bands are measured over 4 ms blocks under a Hann window, whose
// response falls off fast: a strong neighbour leaks little into a band
// far from it.
constexpr float kBlockMs = 4.0f;
constexpr int kMaxBlock = 192;  // 4 ms at 48 kHz
// The watched bands lie this far either side of the pitch: on the first
// null of the window's response, where the steady tone leaves nothing.
constexpr float kOffsetHz = 2000.0f / kBlockMs;
constexpr float kLowestHz = 100.0f;  // clear of hum and the DC filter
// Noise in both bands at once reaches this many times their mean levels
// about once an hour; a crash 20 dB over the tone exceeds it down to 0 dB. A
// crash is flat across the spectrum, so both bands also reach a good part
// of the tone's level, which the sidebands of a keyed tone's edges never do.
constexpr float kCrashRatio = 3.0f;
constexpr float kFlatShare = 0.3f;
constexpr float kToneHold = 0.9f;  // per block: the tone's level is held over its edges
// The bands' mean levels follow over about a second; crash blocks do not count.
constexpr float kLevelRate = 0.004f;
constexpr int kSettleBlocks = 25;
// A crash rings on in the filters ahead for a block.
constexpr int kAfterBlocks = 1;

// One watched band: the window times the band's wave over a block (only
// magnitudes count, so every block may start it at phase 0), the running
// sum of the block so far and the band's mean block magnitude.
struct Band {
    std::array<float, kMaxBlock> re{};
    std::array<float, kMaxBlock> im{};
    float sumRe = 0.0f;
    float sumIm = 0.0f;
    float level = 0.0f;
};

// The sum of a[j] * b[j] over n, in eight lanes that add independently.
float lane_dot(const float* a, const float* b, int n)
{
    constexpr int kLanes = 8;
    float lanes[kLanes] = {};
    int j = 0;
    for (; j + kLanes <= n; j += kLanes)
        for (int l = 0; l < kLanes; ++l)
            lanes[l] += a[j + l] * b[j + l];
    float sum = 0.0f;
    for (; j < n; ++j)
        sum += a[j] * b[j];
    for (float lane : lanes)
        sum += lane;
    return sum;
}

}  // namespace

struct IMPULSE_BLANKER {
    IMPULSE_BLANKER_CONFIG config{};
    int block = 8;
    std::array<Band, 3> bands{};          // below, above, at the pitch
    float toneLevel = 0.0f;               // recent largest block magnitude at the pitch
    std::array<float, kMaxBlock> held{};  // the previous block, given out now
    std::array<float, kMaxBlock> current{};
    int filled = 0;
    int blocks = 0;
    int blankAfter = 0;      // blocks still to silence
    bool heldCrash = false;  // the held block is silenced as it goes out
    int64_t blankedBlocks = 0;
};

namespace {

void set_bands(IMPULSE_BLANKER* b)
{
    const float nyquist = b->config.sampleRate / 2.0f;
    const float frequencies[3] = {std::max(b->config.pitchHz - kOffsetHz, kLowestHz),
                                  std::min(b->config.pitchHz + kOffsetHz, 0.95f * nyquist), b->config.pitchHz};
    for (size_t i = 0; i < 3; ++i) {
        const double w = kTwoPi * frequencies[i] / b->config.sampleRate;
        for (int n = 0; n < b->block; ++n) {
            const double hann = 0.5 - 0.5 * std::cos(kTwoPi * (n + 0.5) / static_cast<double>(b->block));
            b->bands[i].re[static_cast<size_t>(n)] = static_cast<float>(hann * std::cos(w * n));
            b->bands[i].im[static_cast<size_t>(n)] = static_cast<float>(-hann * std::sin(w * n));
        }
    }
}

IMPULSE_BLANKER_CONFIG sanitized(const IMPULSE_BLANKER_CONFIG& c)
{
    IMPULSE_BLANKER_CONFIG s = c;
    s.sampleRate = c.sampleRate >= 4000.0f && c.sampleRate <= 48000.0f ? c.sampleRate : 48000.0f;
    s.pitchHz = std::isfinite(c.pitchHz) ? std::clamp(c.pitchHz, 0.0f, s.sampleRate / 2.0f) : 600.0f;
    return s;
}

// Judges one complete block: true when both watched bands jump far above
// their level and near the tone's.
bool judge(IMPULSE_BLANKER* b)
{
    std::array<float, 3> magnitude{};
    for (size_t i = 0; i < 3; ++i) {
        Band& band = b->bands[i];
        magnitude[i] = std::hypot(band.sumRe, band.sumIm) / static_cast<float>(b->block);
        band.sumRe = 0.0f;
        band.sumIm = 0.0f;
    }
    b->toneLevel = std::max(magnitude[2], b->toneLevel * kToneHold);
    bool crash = b->blocks >= kSettleBlocks;
    for (size_t i = 0; i < 2; ++i)
        crash = crash && magnitude[i] > kCrashRatio * b->bands[i].level && magnitude[i] > kFlatShare * b->toneLevel;
    if (!crash) {
        const float rate = b->blocks < kSettleBlocks ? 1.0f / static_cast<float>(b->blocks + 1) : kLevelRate;
        for (size_t i = 0; i < 2; ++i)
            b->bands[i].level += rate * (magnitude[i] - b->bands[i].level);
    }
    ++b->blocks;
    return crash;
}

}  // namespace

IMPULSE_BLANKER* impulse_blanker_create(const IMPULSE_BLANKER_CONFIG* config)
{
    if (config == nullptr)
        return nullptr;
    auto* b = new (std::nothrow) IMPULSE_BLANKER;
    if (b == nullptr)
        return nullptr;
    b->config = sanitized(*config);
    b->block = std::clamp(static_cast<int>(std::lround(b->config.sampleRate * kBlockMs * 0.001f)), 1, kMaxBlock);
    set_bands(b);
    return b;
}

void impulse_blanker_configure(IMPULSE_BLANKER* b, const IMPULSE_BLANKER_CONFIG* config)
{
    if (b == nullptr || config == nullptr)
        return;
    IMPULSE_BLANKER_CONFIG c = *config;
    c.sampleRate = b->config.sampleRate;
    b->config.pitchHz = sanitized(c).pitchHz;
    set_bands(b);
}

void impulse_blanker_process(IMPULSE_BLANKER* b, const float* in, float* out, int n)
{
    if (in == nullptr || out == nullptr)
        return;
    if (b == nullptr) {
        std::copy_n(in, std::max(n, 0), out);
        return;
    }
    // A run at a time up to the end of the block being filled: the run is
    // stored, the held block goes out, and the bands' sums take the run in
    // independent lanes.
    for (int i = 0; i < n;) {
        const int run = std::min(n - i, b->block - b->filled);
        const auto start = static_cast<size_t>(b->filled);
        float* current = b->current.data() + start;
        const float* held = b->held.data() + start;
        for (int j = 0; j < run; ++j) {
            const float x = in[i + j];
            current[j] = std::isfinite(x) ? x : 0.0f;
        }
        if (b->heldCrash)
            std::fill_n(out + i, run, 0.0f);
        else
            std::copy_n(held, run, out + i);
        for (Band& band : b->bands) {
            band.sumRe += lane_dot(current, band.re.data() + start, run);
            band.sumIm += lane_dot(current, band.im.data() + start, run);
        }
        i += run;
        b->filled += run;
        if (b->filled < b->block)
            continue;
        b->filled = 0;
        // The crash's own block is silenced as it goes out, and the blocks
        // after it that hold its ringing.
        if (judge(b))
            b->blankAfter = kAfterBlocks + 1;
        b->held = b->current;
        b->heldCrash = b->blankAfter > 0;
        b->blankAfter = std::max(0, b->blankAfter - 1);
        b->blankedBlocks += b->heldCrash ? 1 : 0;
    }
}

void impulse_blanker_get_status(const IMPULSE_BLANKER* b, IMPULSE_BLANKER_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = IMPULSE_BLANKER_STATUS{};
    if (b != nullptr)
        status->blankedMs = static_cast<int64_t>(static_cast<float>(b->blankedBlocks) * kBlockMs);
}

void impulse_blanker_destroy(IMPULSE_BLANKER* b)
{
    delete b;
}
