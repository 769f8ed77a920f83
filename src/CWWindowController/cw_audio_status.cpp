#include "cw_audio_status.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

double cw_input_dbfs(double inputLevel)
{
    if (!(inputLevel > 0.0))
        return -120.0;
    return std::clamp(20.0 * std::log10(inputLevel), -120.0, 20.0);
}

std::string cw_audio_status_line(double sampleRate, double inputDbFS, double peakHz, double pitchHz,
                                 const CW_RX_STATUS& status)
{
    char line[256];
    std::snprintf(line, sizeof line,
                  "RX %.0f Hz  In %.1f dBFS  Peak %.0f  \u0394%+.0f  Cost %.2f  QOM %.1f  STAT %.1f Q%.0f SNR%.0f  %s",
                  sampleRate, inputDbFS, peakHz, peakHz - pitchHz, static_cast<double>(status.decoderCost), status.wpm,
                  status.statWpm, static_cast<double>(status.statQuality), static_cast<double>(status.statSnrDb),
                  cw_rx_lock_word(status.decoderCost, status.lock));
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
