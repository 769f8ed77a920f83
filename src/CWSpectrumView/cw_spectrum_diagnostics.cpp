#include "cw_spectrum_diagnostics.h"

#include "cw_status_fit.h"

#include <cstdio>
#include <iterator>

namespace {

// snprintf leaves the bytes that fit; a cut in the middle of a multi-byte
// character would leave an invalid tail, so it is dropped.
size_t finish(int written, char* text, size_t capacity)
{
    if (written < 0) {
        text[0] = '\0';
        return 0;
    }
    size_t length = static_cast<size_t>(written);
    if (length < capacity)
        return length;
    length = capacity - 1;
    size_t start = length;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0x80)) {
        const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
        const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (length - (start - 1) < need)
            length = start - 1;
    }
    text[length] = '\0';
    return length;
}

}  // namespace

const char* cw_spectrum_signal_word(int signalPresent)
{
    return signalPresent ? "SIGNAL" : "NO SIGNAL";
}

size_t cw_spectrum_frequency_label(double hz, char* text, size_t capacity)
{
    if (!text || capacity == 0)
        return 0;
    return finish(std::snprintf(text, capacity, "%.0f", hz), text, capacity);
}

size_t cw_spectrum_diagnostics_text(const CW_SPECTRUM_FIGURES& f, double peakHz, size_t maxChars, char* text,
                                    size_t capacity)
{
    char pitch[32], peak[32], delta[32], level[32], cost[32], threshold[32], speed[32], stat[96];
    std::snprintf(pitch, sizeof pitch, "Pitch %.0f", f.pitchHz);
    std::snprintf(peak, sizeof peak, "Peak %.0f", peakHz);
    std::snprintf(delta, sizeof delta, "\xCE\x94%+.0f", peakHz - f.pitchHz);
    std::snprintf(level, sizeof level, "In %.1f dBFS", f.inputDbFS);
    std::snprintf(cost, sizeof cost, "Cost %.2f", f.decoderCost);
    std::snprintf(threshold, sizeof threshold, "Thr %.3f", static_cast<double>(f.threshold));
    std::snprintf(speed, sizeof speed, "%.1f WPM", f.wpm);
    std::snprintf(stat, sizeof stat, "STAT %.1f Q%.0f SNR%.0f ON%.0f%%", f.statWpm, f.statQuality, f.statSnrDb,
                  f.statOnRatio * 100.0);
    const CW_STATUS_GROUP groups[] = {
        {.text = pitch, .drop = 0},
        {.text = peak, .drop = 4},
        {.text = delta, .drop = 2},
        {.text = level, .drop = 3},
        {.text = cost, .drop = 6},
        {.text = threshold, .drop = 5},
        {.text = cw_spectrum_signal_word(f.signalPresent), .drop = 0},
        {.text = speed, .drop = 0},
        {.text = stat, .drop = 7},
        {.text = cw_rx_lock_word(f.decoderCost, f.lock), .drop = 0},
    };
    return cw_status_fit(groups, std::size(groups), maxChars, text, capacity);
}
