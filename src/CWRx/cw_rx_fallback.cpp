#include "cw_rx_fallback.h"

#include "cw_rx_morse_table.h"
#include "cw_limits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr double kKeyDownMs = 8.0;  // debounce of a mark
constexpr double kKeyUpMs = 18.0;   // debounce of a gap
constexpr double kFadeMs = 1800.0;  // silence before the confidence decays
constexpr double kAbsentMs = 6000.0;
// The tone magnitude comes through a filter of 24 Hz at most, so band noise
// alone swings it by up to 15 dB; keying at -6 dB in 2500 Hz by 12 to 17 dB,
// at 0 dB by 16 to 21 dB.
constexpr float kPresenceOnDb = 17.0f;
constexpr float kPresenceOffDb = 14.0f;

int32_t count_up(int32_t n, int32_t ceiling)
{
    return n < ceiling ? n + 1 : n;
}

float tone_magnitude(CW_RX* rx, const float* samples, size_t count)
{
    const CW_RX_CONFIG& c = rx->config;
    const double omega = kTwoPi * c.pitchHz / c.sampleRate;
    double fc = c.bandwidthHz < 8.0 ? 2.8 : 0.35 * std::min(c.bandwidthHz, 200.0);
    fc = fc < 8.0 ? 8.0 : std::min(fc, 24.0);
    const double alpha = 1.0 - std::exp(-kTwoPi * fc / c.sampleRate);
    double sum = 0.0;
    for (size_t n = 0; n < count; ++n) {
        const double x = cwqo_sample_guard(samples[n]);
        const double p[2] = {x * std::cos(rx->oscPhase), x * std::sin(rx->oscPhase)};
        for (int k = 0; k < 2; ++k) {
            rx->mixLowpass1[k] += alpha * (p[k] - rx->mixLowpass1[k]);
            rx->mixLowpass2[k] += alpha * (rx->mixLowpass1[k] - rx->mixLowpass2[k]);
        }
        sum += 2.0 * std::hypot(rx->mixLowpass2[0], rx->mixLowpass2[1]);
        rx->oscPhase += omega;
        if (rx->oscPhase >= kTwoPi)
            rx->oscPhase -= kTwoPi;
    }
    return static_cast<float>(sum / static_cast<double>(count));
}

// Smoothed tone, noise and peak; returns the normalised level 0..1.
float track_levels(CW_RX* rx, float m)
{
    float a = rx->toneAverage;
    a = m > a ? 0.55f * a + 0.45f * m : 0.9f * a + 0.1f * m;
    rx->toneAverage = a;
    float noise = rx->noiseLevel;
    float peak = rx->peakLevel;
    if (noise + 0.0001f >= peak) {
        noise = std::max(0.25f * a, 0.0f);
        peak = std::max(noise + 0.002f, a);
    }
    if (rx->status.keyDown == 0)
        noise = noise > a ? 0.92f * noise + 0.08f * a : 0.999f * noise + 0.001f * a;
    if (a > peak)
        peak = 0.8f * peak + 0.2f * a;
    else
        peak = 0.9985f * peak + 0.0015f * std::max(noise + 0.002f, a);
    peak = std::max(peak, noise + 0.002f);
    rx->noiseLevel = noise;
    rx->peakLevel = peak;
    return cw_limitf((a - noise) / std::max(peak - noise, 0.002f), 0.0f, 1.0f);
}

bool key_state(CW_RX* rx, float level, float t, double ms)
{
    if (rx->status.keyDown == 0) {
        if (level >= t) {
            rx->onMs += ms;
            rx->offMs = 0.0;
            return rx->onMs >= kKeyDownMs;
        }
        rx->onMs = 0.0;
        rx->offMs += ms;
        return false;
    }
    const float release = cw_limitf(std::min(0.8f * t, rx->config.releaseThreshold), 0.0f, t);
    if (level >= release) {
        rx->offMs = 0.0;
        rx->onMs += ms;
        return true;
    }
    rx->offMs += ms;
    if (rx->offMs >= kKeyUpMs) {
        rx->onMs = 0.0;
        return false;
    }
    return true;
}

void add_element(CW_RX* rx, double markMs)
{
    const double dotMin = 1200.0 / rx->config.maxWpm;
    const double dotMax = 1200.0 / rx->config.minWpm;
    const double u = markMs < 2.25 * cw_rx_dot_in_use(rx, rx->dotMs) ? markMs : markMs / 3.0;
    if (u >= 0.65 * dotMin && u <= 1.35 * dotMax) {
        const double v = cw_limit(u, dotMin, dotMax);
        rx->dotMs = rx->dotCount == 0 ? v : 0.96 * rx->dotMs + 0.04 * v;
        if (rx->dotCount <= 999999)
            ++rx->dotCount;
    }
    const double d = cw_rx_dot_in_use(rx, rx->dotMs);
    if (markMs >= 0.35 * d && rx->elementCount <= 14) {
        rx->pattern[rx->elementCount] = markMs <= 2.35 * d ? '.' : '-';
        rx->durations[rx->elementCount] = markMs;
        ++rx->elementCount;
        rx->pattern[rx->elementCount] = '\0';
    }
}

void track_runs(CW_RX* rx, bool wasDown, bool down, double ms)
{
    const double letterGap = 2.2 * cw_rx_dot_in_use(rx, rx->dotMs);
    if (down == wasDown) {
        rx->elementMs += ms;
    } else if (down) {
        if (rx->elementCount > 0 && rx->elementMs >= letterGap)
            cw_rx_flush_symbol(rx);
        rx->elementMs = ms;
    } else {
        if (rx->elementMs > 0.0)
            add_element(rx, rx->elementMs);
        rx->elementMs = ms;
    }
    if (rx->elementCount >= 7)
        cw_rx_flush_symbol(rx);
    if (!down && rx->elementCount > 0 && rx->elementMs >= 2.2 * cw_rx_dot_in_use(rx, rx->dotMs))
        cw_rx_flush_symbol(rx);
}

int32_t presence(CW_RX* rx, bool down, float level, float t, double ms)
{
    if (down || level >= t) {
        rx->noToneMs = 0.0;
        rx->silenceCount = 0;
        return 1;
    }
    rx->noToneMs += ms;
    if (rx->noToneMs >= kFadeMs) {
        rx->confidence = cw_limit(rx->confidence - 0.015 * ms / 100.0, 0.0, 1.0);
        rx->lockGrade = rx->confidence <= 0.14 ? 0 : (rx->lockGrade == 2 ? 1 : rx->lockGrade);
    }
    if (rx->noToneMs >= kAbsentMs || rx->toneHeard == 0) {
        rx->silenceCount = count_up(rx->silenceCount, kCwRxCounterCeiling);
        return 0;
    }
    return 1;
}

void record_level(CW_RX* rx, bool present, float level)
{
    if (!present) {
        rx->levelHistoryCount = 0;
        rx->lastText[0] = '\0';
        rx->candidateText[0] = '\0';
        rx->candidateRepeats = 0;
        return;
    }
    if (rx->levelHistoryCount == kCwRxHistoryLength) {
        std::memmove(rx->levelHistory, rx->levelHistory + 1, sizeof(float) * (kCwRxHistoryLength - 1));
        --rx->levelHistoryCount;
    }
    rx->levelHistory[rx->levelHistoryCount++] = level;
}

// Cost of reading the pending elements as a row's pattern.
double row_cost(const CW_RX* rx, const char* pattern, double d)
{
    const int m = static_cast<int>(std::strlen(pattern));
    double err = 0.0;
    for (int i = 0; i < m; ++i) {
        const double r = std::min(std::max(rx->durations[i] / d, 0.2), 7.0);
        if (pattern[i] == '-')
            err += std::fabs(r - 3.0) / 2.0 + (r <= 1.75 ? 0.55 : 0.0);
        else
            err += std::fabs(r - 1.0) + (r >= 2.45 ? 0.55 : 0.0);
    }
    return err / m + 0.75 * (rx->elementCount - m);
}

double classification_delta(const CW_RX* rx)
{
    const int n = rx->elementCount;
    const double matched = n == 1 ? 0.035 : 0.1;
    if (cw_rx_morse_lookup(rx->pattern) != 0)
        return matched;
    const double d = cw_rx_dot_in_use(rx, rx->dotMs);
    double best = 999.0;
    for (const CW_RX_MORSE_ROW& row : cw_morse_table) {
        if (static_cast<int>(std::strlen(row.pattern)) > n)
            continue;
        best = std::min(best, row_cost(rx, row.pattern, d));
    }
    if (best > 0.62)
        return -0.18;
    return best <= 0.28 ? matched : 0.035;
}

}  // namespace

double cw_rx_dot_in_use(const CW_RX* rx, double dotMs)
{
    const double dotMin = 1200.0 / rx->config.maxWpm;
    const double dotMax = 1200.0 / rx->config.minWpm;
    const double mid = 1200.0 / ((rx->config.minWpm + rx->config.maxWpm) / 2.0);
    const double d = dotMs >= dotMin && dotMs <= dotMax ? dotMs : mid;
    return cw_limit(d, dotMin, dotMax);
}

int32_t cw_rx_flush_symbol(CW_RX* rx)
{
    if (rx->elementCount == 0)
        return 0;
    rx->confidence = cw_limit(rx->confidence + classification_delta(rx), 0.0, 1.0);
    if (rx->confidence >= 0.68 && rx->dotCount > 7)
        rx->lockGrade = 2;
    else if (rx->confidence >= 0.28 && rx->dotCount > 2)
        rx->lockGrade = 1;
    else
        rx->lockGrade = 0;
    rx->elementCount = 0;
    std::memset(rx->pattern, 0, sizeof(rx->pattern));
    std::memset(rx->durations, 0, sizeof(rx->durations));
    return rx->lockGrade;
}

void cw_rx_fallback_reset(CW_RX* rx)
{
    rx->oscPhase = 0.0;
    rx->mixLowpass1[0] = rx->mixLowpass1[1] = 0.0;
    rx->mixLowpass2[0] = rx->mixLowpass2[1] = 0.0;
    rx->toneAverage = 0.0f;
    rx->noiseLevel = 0.0f;
    rx->peakLevel = 0.02f;
    rx->thresholdInUse = rx->config.threshold;
    rx->onMs = rx->offMs = rx->noToneMs = rx->elementMs = 0.0;
    rx->dotMs = 1200.0 / 22.0;
    rx->elementCount = 0;
    rx->dotCount = 0;
    rx->silenceCount = 0;
    rx->confidence = 0.0;
    rx->lockGrade = 0;
    std::memset(rx->pattern, 0, sizeof(rx->pattern));
    std::memset(rx->durations, 0, sizeof(rx->durations));
    rx->toneHeard = 0;
    cwqo_presence_reset(&rx->presence);
    rx->levelHistoryCount = 0;
    rx->lastText[0] = '\0';
    rx->candidateText[0] = '\0';
    rx->candidateRepeats = 0;
    cw_text_queue_clear(&rx->pendingText);
}

void cw_rx_live_step(CW_RX* rx, const float* samples, size_t count)
{
    const double ms = static_cast<double>(count) * 1000.0 / rx->config.sampleRate;
    const float magnitude = tone_magnitude(rx, samples, count);
    const float level = track_levels(rx, magnitude);
    rx->thresholdInUse = rx->config.autoThreshold != 0 ? 0.5f : rx->config.threshold;
    const float t = cw_limitf(rx->thresholdInUse, 0.0f, 1.0f);
    const bool wasDown = rx->status.keyDown != 0;
    const bool down = key_state(rx, level, t, ms);
    track_runs(rx, wasDown, down, ms);
    const int32_t present = presence(rx, down, level, t, ms);
    rx->toneHeard = present;
    // The level is normalised to what was heard, so noise reads as tone;
    // whether a signal is present is judged on the magnitude itself.
    cwqo_presence_add(&rx->presence, &magnitude, 1, ms);

    CW_RX_STATUS& st = rx->status;
    st.level = level;
    st.threshold = rx->thresholdInUse;
    st.reserved = 0.0f;
    st.keyDown = down ? 1 : 0;
    st.signalPresent = cwqo_presence_update(&rx->presence, kPresenceOnDb, kPresenceOffDb);
    st.lock = rx->lockGrade;
    st.pitchHz = rx->config.pitchHz;
    st.wpm = 1200.0 / rx->dotMs;
    st.inputLevel = 0.0f;
    st.decoderGain = 1.0f;
    st.decoderCost = 0.0f;
    record_level(rx, present != 0, level);
}
