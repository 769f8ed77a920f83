#include "cwqo_envelope_statistics.h"

#include "cw_limits.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <cmath>

namespace {

constexpr double kMsPerSample = 1000.0 / 4000.0;

// Bit k set when values[k] is at or above the threshold, for up to 32
// values: compared into bytes, which vectorises, and each eight bytes of 0
// or 1 gathered into one byte by a multiplication (byte k lands on bit 56 + k).
uint32_t key_bits(const float* values, unsigned length, float threshold)
{
    uint8_t on[32] = {};
    for (unsigned k = 0; k < length; ++k)
        on[k] = values[k] >= threshold ? 1 : 0;
    uint32_t bits = 0;
    for (unsigned part = 0; part < 4; ++part) {
        uint64_t eight = 0;
        std::memcpy(&eight, on + 8 * part, 8);
        bits |= static_cast<uint32_t>((eight * 0x0102040810204080ull) >> 56) << (8 * part);
    }
    return bits;
}

// Runs of equal key state in time order; runs shorter than the minimum are
// dropped without joining their neighbours. Returns the key-down count.
size_t split_runs(const CWQO_ENVELOPE_HISTORY& history, float threshold, CWQO_RUN_LENGTHS* runs)
{
    runs->marks.clear();
    runs->spaces.clear();
    const CWQO_SAMPLE_RING& ring = history.ring;
    if (ring.count == 0)
        return 0;
    size_t onCount = 0;
    size_t runLength = 0;
    bool runOn = cwqo_ring_at(ring, 0) >= threshold;
    const auto close = [&]() {
        if (runLength >= kCwqoMinimumRun)
            (runOn ? runs->marks : runs->spaces).push_back(static_cast<float>(runLength * kMsPerSample));
    };
    // The ring's slots in time order, in their two contiguous pieces.
    const size_t capacity = ring.data.size();
    const size_t firstLength = std::min(ring.count, capacity - ring.head);
    const size_t starts[2] = {ring.head, 0};
    const size_t ends[2] = {ring.head + firstLength, ring.count - firstLength};
    const float* v = ring.data.data();
    static_assert(kCwqoStretchSlots <= 32, "a stretch's key states fit one word");
    for (int p = 0; p < 2; ++p) {
        size_t s = starts[p];
        while (s < ends[p]) {
            // Runs are mostly far longer than a stretch: one wholly in the
            // current state, as its least or greatest value tells, is
            // counted and stepped over.
            if (s % kCwqoStretchSlots == 0 && ends[p] - s >= kCwqoStretchSlots) {
                const size_t stretch = s / kCwqoStretchSlots;
                if (runOn ? history.stretchLeast[stretch] >= threshold : history.stretchMost[stretch] < threshold) {
                    onCount += runOn ? kCwqoStretchSlots : 0;
                    runLength += kCwqoStretchSlots;
                    s += kCwqoStretchSlots;
                    continue;
                }
            }
            // Otherwise the stretch's key states as bits, compared without
            // a jump, and its runs read off where the bits change.
            const size_t end = std::min(ends[p], (s / kCwqoStretchSlots + 1) * kCwqoStretchSlots);
            const auto length = static_cast<unsigned>(end - s);
            const uint32_t on = key_bits(v + s, length, threshold);
            onCount += static_cast<size_t>(std::popcount(on));
            const uint32_t inside = length == 32 ? UINT32_MAX : (uint32_t{1} << length) - 1;
            unsigned at = 0;
            while (at < length) {
                const uint32_t changed = ((runOn ? ~on : on) & inside) >> at;
                if (changed == 0) {
                    runLength += length - at;
                    break;
                }
                const auto same = static_cast<unsigned>(std::countr_zero(changed));
                runLength += same;
                close();
                runLength = 0;
                runOn = !runOn;
                at += same;
            }
            s = end;
        }
    }
    close();
    return onCount;
}

// 1 for a length on one of the ideal multiples, falling to 0 at half a unit off.
double fit_score(double ratio, bool space)
{
    if (!(ratio > 0.0))
        return 0.0;
    double e = std::min(std::fabs(ratio - 3.0) / 3.0, std::fabs(ratio - 1.0));
    if (space)
        e = std::min(e, std::fabs(ratio - 7.0) / 7.0);
    return cw_limit(1.0 - 2.0 * e, 0.0, 1.0);
}

double mean_fit(const std::vector<float>& lengths, double dotMs, bool space)
{
    if (lengths.empty())
        return 0.0;
    double sum = 0.0;
    for (float d : lengths)
        sum += fit_score(d / dotMs, space);
    return sum / static_cast<double>(lengths.size());
}

}  // namespace

void cwqo_run_lengths_init(CWQO_RUN_LENGTHS* runs)
{
    // Every recorded run is at least kCwqoMinimumRun long.
    const size_t most = kCwqoHistorySamples / kCwqoMinimumRun + 1;
    runs->marks.reserve(most);
    runs->spaces.reserve(most);
}

double cwqo_dot_length_ms(std::vector<float>* marks)
{
    const size_t n = marks->size();
    if (n < 4)
        return 0.0;
    size_t k = n / 2;
    if (k < 3)
        k = 2;
    // Only the middle of the k shortest matters: two selections, no sort.
    std::vector<float>& m = *marks;
    const auto upper = m.begin() + static_cast<std::ptrdiff_t>(k / 2);
    std::nth_element(m.begin(), upper, m.end());
    if (k % 2 == 1)
        return *upper;
    const float lower = *std::max_element(m.begin(), upper);
    return (static_cast<double>(lower) + static_cast<double>(*upper)) / 2.0;
}

CWQO_ENVELOPE_FIGURES cwqo_envelope_statistics(const CWQO_ENVELOPE_HISTORY& history, double minWpm, double maxWpm,
                                               CWQO_RUN_LENGTHS* runs)
{
    const float p90 = cwqo_history_quantile(history, 0.9);
    const float p50 = cwqo_history_quantile(history, 0.5);
    const float p95 = cwqo_history_quantile(history, 0.95);
    const float p20 = cwqo_history_quantile(history, 0.2);
    const float noiseFloor = std::max(p20, 1e-7f);
    const double snrDb = 20.0 * std::log10(static_cast<double>(std::max(p95, noiseFloor)) / noiseFloor);

    CWQO_ENVELOPE_FIGURES figures{};
    figures.keyThreshold = std::max(p20 + 0.38f * (p90 - p20), p50);
    const size_t n = cwqo_history_size(history);
    const size_t onCount = split_runs(history, figures.keyThreshold, runs);
    const double onRatio = std::min(1.0, static_cast<double>(onCount) / static_cast<double>(n));
    const double snrScore = cw_limit((snrDb - 5.0) / 18.0, 0.0, 1.0);
    const double onScore = cw_limit(1.0 - std::fabs(onRatio - 0.45) / 0.45, 0.0, 1.0);
    double quality = 100.0 * (0.65 * snrScore + 0.35 * onScore);
    double wpm = 0.0;

    const double marks = static_cast<double>(runs->marks.size());
    const double dotMs = cwqo_dot_length_ms(&runs->marks);
    if (dotMs >= 12.0 && dotMs <= 250.0) {
        wpm = 1200.0 / dotMs;
        const double markFit = mean_fit(runs->marks, dotMs, false);
        const double spaceFit = 0.22 * mean_fit(runs->spaces, dotMs, true);
        const double rangeFactor = (wpm < minWpm - 2.0 || wpm > maxWpm + 2.0) ? 0.55 : 1.0;
        const double sum = 0.15 * std::min(1.0, marks / 18.0) + 0.25 * snrScore + 0.38 * markFit + spaceFit;
        quality = std::max(0.0, 100.0 * std::min(1.0, sum)) * rangeFactor;
    }
    figures.wpm = wpm;
    figures.quality = static_cast<float>(cw_limit(quality, 0.0, 100.0));
    figures.snrDb = static_cast<float>(cw_limit(snrDb, 0.0, 60.0));
    figures.onRatio = static_cast<float>(onRatio);
    return figures;
}
