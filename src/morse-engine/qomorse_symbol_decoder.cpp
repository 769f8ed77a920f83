// Symbol decoder: per frame, find the pitch, update the tone envelope and
// search speed and threshold hypotheses for the best-timed reading of the
// last three seconds.
#include "qomorse_impl.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace {

using Clock = std::chrono::steady_clock;

constexpr float kPitchChangeHz = 50.0f;
constexpr float kBinHz = 4000.0f / 512.0f;
constexpr double kInitialBestCost = 1000000.0;
constexpr float kNoFitCost = 300.0f;
constexpr int kMaxSpeedIndex = 95;

float elapsed_ms(Clock::time_point since)
{
    return std::chrono::duration<float, std::milli>(Clock::now() - since).count();
}

int decimation_for(int m)
{
    if (m % 2 == 1)
        return 1;
    if (m % 4 == 2)
        return 2;
    if (m % 8 == 4)
        return 4;
    return 8;
}

int round_half_away(double x)
{
    return static_cast<int>(std::round(x));
}

struct SpeedBounds {
    int iMin;
    int iMax;
};

// NaN falls to the lower bound: every comparison with it is false.
SpeedBounds speed_bounds(float minWpm, float maxWpm)
{
    const float wMin = minWpm > 5.0f ? std::min(minWpm, 80.0f) : 5.0f;
    const float wMax = maxWpm > wMin ? std::min(maxWpm, 80.0f) : wMin;
    const int iMin = std::clamp(static_cast<int>(std::floor(wMin - 5.0f)), 0, kMaxSpeedIndex);
    const int iMax = std::min(std::max(static_cast<int>(std::ceil(wMax - 5.0f)), iMin), kMaxSpeedIndex);
    return {iMin, iMax};
}

// Squared errors are computed in double and summed in float.
struct TimingErrors {
    float errDot = 0.0f;
    float errDash = 0.0f;
    float errGap = 0.0f;
    int nDot = 0;
    int nDash = 0;
    int nGap = 0;

    void addKeyDown(const Interval& run)
    {
        const double x = run.lengthDots;
        if (run.kind == 1) {
            errDash += (x - 3.0) * (x - 3.0);
            ++nDash;
        } else {
            errDot += (x - 1.0) * (x - 1.0);
            ++nDot;
        }
    }

    // Classifies a gap by the nearest of 1, 3 and 7 units.
    void addKeyUp(Interval& run)
    {
        const double x = run.lengthDots;
        run.kind = 0;
        if (x >= 8.0)
            return;
        const double d1 = (x - 1.0) * (x - 1.0);
        const double d3 = (x - 3.0) * (x - 3.0);
        const double d7 = (x - 7.0) * (x - 7.0);
        if (d1 < d3 && d1 < d7) {
            run.kind = 1;
            errGap += d1;
            ++nGap;
        } else if (d3 < d1 && d3 < d7) {
            run.kind = 2;
        } else if (d7 < d1 && d7 < d3) {
            run.kind = 3;
        }
    }

    float cost(float avgDot, float avgDash) const
    {
        float c = (nDot == 0 ? 100.0f : errDot) / static_cast<float>(nDot >= 2 ? nDot : 1);
        c += (nDash == 0 ? 100.0f : errDash) / static_cast<float>(nDash >= 2 ? nDash : 1);
        c += (nGap == 0 ? 100.0f : errGap) / static_cast<float>(std::max(nGap, 1));
        const float ratio = avgDash / avgDot;
        if (ratio > 3.5f || ratio < 2.5f)
            c += 100.0f;
        return c;
    }
};

// Mean length of the inner dots and dashes (1 and 3 when there are none).
void average_elements(const std::vector<Interval>& runs, float* avgDot, float* avgDash)
{
    float sumDot = 0.0f;
    float sumDash = 0.0f;
    int nDot = 0;
    int nDash = 0;
    for (size_t i = 1; i + 1 < runs.size(); ++i) {
        const Interval& run = runs[i];
        if (!run.keyDown)
            continue;
        if (run.kind == 1) {
            sumDash += run.lengthDots;
            ++nDash;
        } else {
            sumDot += run.lengthDots;
            ++nDot;
        }
    }
    *avgDot = nDot > 0 ? sumDot / static_cast<float>(nDot) : 1.0f;
    *avgDash = nDash > 0 ? sumDash / static_cast<float>(nDash) : 3.0f;
}

// Stretches every inner element about its centre so that dots average one
// unit and dashes three; the neighbouring gaps absorb the change.
void normalise_elements(std::vector<Interval>& runs, float dot, float avgDot, float avgDash)
{
    for (size_t i = 1; i + 1 < runs.size(); ++i) {
        Interval& run = runs[i];
        if (!run.keyDown)
            continue;
        run.lengthDots *= run.kind == 1 ? 3.0f / avgDash : 1.0f / avgDot;
        const double mid = (run.start + run.end) * 0.5;
        const double half = 0.5 * run.lengthDots * dot;
        run.start = static_cast<int32_t>(mid - half);
        run.end = static_cast<int32_t>(mid + half);
        Interval& before = runs[i - 1];
        before.end = run.start;
        before.lengthDots = static_cast<float>(before.end - before.start) / dot;
        Interval& after = runs[i + 1];
        after.start = run.end;
        after.lengthDots = static_cast<float>(after.end - after.start) / dot;
    }
}

}  // namespace

void QoMorse::Impl::decodeFrame(float* frame)
{
    const auto frameStart = Clock::now();
    if (decodeParameters.applyFilterHighPass && highPass.active())
        highPass.process(frame, samplesPerFrame);
    for (int i = 0; i < samplesPerFrame; ++i)
        stfft.push(frame[i]);

    const float pitch = decodeParameters.frequency_hz > 0.0f ? decodeParameters.frequency_hz : findPitch();
    if (std::fabs(pitch - statistics.estimatedPitch_Hz) > kPitchChangeHz) {
        toneFilter.recompute(pitch);
        rxData.push_back('\n');
        lastInterval = Interval{};
        symbol.clear();
    }
    statistics.timePitch_ms = elapsed_ms(frameStart);
    statistics.estimatedPitch_Hz = pitch;

    const auto envelopeStart = Clock::now();
    toneFilter.process(frame, samplesPerFrame, pitch);
    buildEnvelope();
    statistics.timeEnvelope_ms = elapsed_ms(envelopeStart);

    const auto searchStart = Clock::now();
    thresholdF.push_back(statistics.signalThreshold);
    searchHypotheses();
    statistics.timeDecode_ms = elapsed_ms(searchStart);
    statistics.costFunction = bestCost;

    const float bestWpm = static_cast<float>(bestSpeedIndex + 5);
    if (std::fabs(statistics.estimatedSpeed_wpm - bestWpm) > 2.0f)
        stableSpeedCount = 0;
    const int stableBefore = stableSpeedCount;
    ++stableSpeedCount;
    statistics.estimatedSpeed_wpm = bestWpm;
    statistics.signalThreshold = static_cast<float>(bestThresholdIndex) * 0.01f;

    emitText(stableBefore, stableSpeedCount);
    ++framesDecoded;
}

// Strongest bin in range over the newest half of the spectrum history; the
// lowest bin wins a tie and an all-zero spectrum gives 0.
float QoMorse::Impl::findPitch() const
{
    const int kMin = std::max(0, static_cast<int>(std::ceil(decodeParameters.frequencyRangeMin_hz / kBinHz)));
    const int kMax = std::min(255, static_cast<int>(std::floor(decodeParameters.frequencyRangeMax_hz / kBinHz)));
    if (kMin > kMax)
        return 0.0f;
    std::array<float, 256> sums{};
    const int nColumns = stfft.nColumns();
    const int half = nColumns / 2;
    for (int j = 0; j < half; ++j) {
        const std::vector<float>& column = stfft.column((stfft.currentColumn() + half + j) % nColumns);
        for (int k = kMin; k <= kMax; ++k)
            sums[k] += column[k];
    }
    float best = 0.0f;
    int bestBin = -1;
    for (int k = kMin; k <= kMax; ++k) {
        if (sums[k] > best) {
            best = sums[k];
            bestBin = k;
        }
    }
    return bestBin < 0 ? 0.0f : static_cast<float>(bestBin) * kBinHz;
}

void QoMorse::Impl::buildEnvelope()
{
    const std::vector<float>& full = toneFilter.envelopeInTimeOrder();
    const int m = static_cast<int>(full.size());
    decimation = decimation_for(m);
    const int n = m / decimation;
    envelope.resize(static_cast<size_t>(n));
    double sum = 0.0;
    for (int k = 0; k < n; ++k) {
        float acc = 0.0f;
        for (int j = 0; j < decimation; ++j)
            acc += full[static_cast<size_t>(k * decimation + j)];
        envelope[static_cast<size_t>(k)] = acc / static_cast<float>(decimation);
        sum += envelope[static_cast<size_t>(k)];
    }
    thresholdUnit = n > 0 ? sum / n * 0.01 : 0.0;
}

void QoMorse::Impl::searchHypotheses()
{
    bestCost = static_cast<float>(kInitialBestCost);
    bestSpeedIndex = 0;
    bestThresholdIndex = 0;
    bestRuns.clear();

    const SpeedBounds bounds = speed_bounds(decodeParameters.speedRangeMin_wpm,
                                            decodeParameters.speedRangeMax_wpm);
    const float fixedWpm = decodeParameters.speed_wpm;
    const bool fixedSpeed = fixedWpm > 0.0f && fixedWpm < 100.0f;
    int lo = bounds.iMin;
    int hi = bounds.iMax;
    if (fixedSpeed)
        lo = hi = std::clamp(round_half_away(fixedWpm - 5.0f), bounds.iMin, bounds.iMax);
    for (int s = lo; s <= hi; s += 10)
        for (int t = 10; t <= 90; t += 20)
            tryHypothesis(s, t);
    if (fixedSpeed)
        return;

    const double c = statistics.estimatedSpeed_wpm - 5.0;
    lo = std::clamp(round_half_away(c - 2.0), bounds.iMin, bounds.iMax);
    hi = std::clamp(round_half_away(c + 2.0), bounds.iMin, bounds.iMax);
    const int u = static_cast<int>(std::clamp(statistics.signalThreshold * 100.0f, 20.0f, 80.0f));
    for (int s = lo; s <= hi; ++s)
        for (int t = u - 10; t <= u + 10; t += 2)
            tryHypothesis(s, t);
}

// Indices where the envelope crosses threshold t, computed once per frame.
// The first entry is 1 when the envelope starts above the threshold.
const std::vector<int32_t>& QoMorse::Impl::runBoundaries(int thresholdIndex)
{
    std::vector<int32_t>& list = boundaries[static_cast<size_t>(thresholdIndex)];
    if (boundariesFrame[static_cast<size_t>(thresholdIndex)] == framesDecoded)
        return list;
    boundariesFrame[static_cast<size_t>(thresholdIndex)] = framesDecoded;
    const float thr = static_cast<float>(thresholdIndex * thresholdUnit);
    const int n = static_cast<int>(envelope.size());
    list.resize(static_cast<size_t>(n) + 1);
    int32_t* out = list.data();
    bool state = n > 0 && envelope[0] > thr;
    out[0] = state;
    int count = 1;
    for (int i = 1; i < n; ++i) {
        const bool above = envelope[static_cast<size_t>(i)] > thr;
        out[count] = i;
        count += above != state;
        state = above;
    }
    list.resize(static_cast<size_t>(count));
    return list;
}

void QoMorse::Impl::tryHypothesis(int speedIndex, int thresholdIndex)
{
    const float dotMs = 60000.0f / static_cast<float>((speedIndex + 5) * 50);
    const auto dot = static_cast<float>(dotMs * 0.001 * kInternalRate / decimation);
    const std::vector<int32_t>& crossings = runBoundaries(thresholdIndex);
    const int n = static_cast<int>(envelope.size());

    std::vector<Interval>& runs = candidateRuns;
    runs.clear();
    int32_t keyDown = crossings.empty() ? 0 : crossings[0];
    int32_t start = 0;
    for (size_t i = 1; i <= crossings.size(); ++i) {
        const int32_t end = i < crossings.size() ? crossings[i] : n;
        const float lengthDots = static_cast<float>(end - start) / dot;
        const int32_t kind = keyDown && lengthDots > 2.0f ? 1 : 0;
        runs.push_back(Interval{keyDown, start, end, lengthDots, kind});
        keyDown ^= 1;
        start = end;
    }

    float cost = kNoFitCost;
    if (runs.size() >= 3) {
        float avgDot = 1.0f;
        float avgDash = 3.0f;
        average_elements(runs, &avgDot, &avgDash);
        normalise_elements(runs, dot, avgDot, avgDash);
        TimingErrors errors;
        for (size_t i = 1; i + 1 < runs.size(); ++i) {
            if (runs[i].keyDown)
                errors.addKeyDown(runs[i]);
            else
                errors.addKeyUp(runs[i]);
        }
        cost = errors.cost(avgDot, avgDash);
    }
    if (cost < bestCost) {
        bestCost = cost;
        bestSpeedIndex = speedIndex;
        bestThresholdIndex = thresholdIndex;
        bestRuns.swap(candidateRuns);
    }
}
