#include "cw_spectrum_diagnostics.h"

#include <cstdio>

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

size_t cw_spectrum_diagnostics_text(const CW_SPECTRUM_FIGURES& f, double peakHz, char* text, size_t capacity)
{
    if (!text || capacity == 0)
        return 0;
    const int written =
        std::snprintf(text, capacity,
                      "Pitch %.0f  Peak %.0f  \xCE\x94%+.0f  In %.1f dBFS  Cost %.2f  Thr %.3f  %s  QOM %.1f  "
                      "STAT %.1f Q%.0f SNR%.0f ON%.0f%%  %s",
                      f.pitchHz, peakHz, peakHz - f.pitchHz, f.inputDbFS, f.decoderCost,
                      static_cast<double>(f.threshold), cw_spectrum_signal_word(f.signalPresent), f.wpm, f.statWpm,
                      f.statQuality, f.statSnrDb, f.statOnRatio * 100.0, cw_rx_lock_word(f.decoderCost, f.lock));
    return finish(written, text, capacity);
}
