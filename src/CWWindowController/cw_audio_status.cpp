#include "cw_audio_status.h"

#include "cw_status_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

double cw_input_dbfs(double inputLevel)
{
    if (!(inputLevel > 0.0))
        return -120.0;
    return std::clamp(20.0 * std::log10(inputLevel), -120.0, 20.0);
}

std::string cw_audio_status_line(double sampleRate, double inputDbFS, double peakHz, double pitchHz,
                                 const CW_RX_STATUS& status, size_t maxChars)
{
    char rate[32], level[32], peak[32], delta[32], cost[32], speed[32], stat[64];
    std::snprintf(rate, sizeof rate, "RX %.0f Hz", sampleRate);
    std::snprintf(level, sizeof level, "In %.1f dBFS", inputDbFS);
    std::snprintf(peak, sizeof peak, "Peak %.0f", peakHz);
    std::snprintf(delta, sizeof delta, "\u0394%+.0f", peakHz - pitchHz);
    std::snprintf(cost, sizeof cost, "Cost %.2f", static_cast<double>(status.decoderCost));
    std::snprintf(speed, sizeof speed, "%.1f WPM", status.wpm);
    std::snprintf(stat, sizeof stat, "STAT %.1f Q%.0f SNR%.0f", status.statWpm, static_cast<double>(status.statQuality),
                  static_cast<double>(status.statSnrDb));
    const CW_STATUS_GROUP groups[] = {
        {.text = rate, .drop = 3}, {.text = level, .drop = 1},
        {.text = peak, .drop = 4}, {.text = delta, .drop = 2},
        {.text = cost, .drop = 6}, {.text = speed, .drop = 0},
        {.text = stat, .drop = 5}, {.text = cw_rx_lock_word(status.decoderCost, status.lock), .drop = 0},
    };
    char line[256];
    cw_status_fit(groups, std::size(groups), maxChars, line, sizeof line);
    return line;
}

bool cw_refresh_due(double lastTime, double now, double interval)
{
    return lastTime <= 0.0 || now - lastTime >= interval;
}

std::string cw_ascii_text(const char* bytes, size_t count)
{
    if (bytes == nullptr)
        return {};
    std::string text(bytes, count);
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? text : std::string();
}
