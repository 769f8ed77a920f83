// The receive pipeline's figures as the window shows them: input level,
// the status line and the display throttles.
#pragma once

#include "CWRx.h"

#include <string>

// 20 log10 of the level within -120..20; -120 for a level of 0 or less.
double cw_input_dbfs(double inputLevel);

// "RX 48000 Hz  In -20.0 dBFS  Peak 700  Δ+0  Cost 0.30  20.0 WPM  STAT ...
// LOCK", with figures left out, least needed first, until it has at most
// maxChars characters; the speed, the level and the lock word stay.
std::string cw_audio_status_line(double sampleRate, double inputDbFS, double peakHz, double pitchHz,
                                 const CW_RX_STATUS& status, size_t maxChars);

// True when a refresh is due: never done (0 or less), or at least
// `interval` seconds ago.
bool cw_refresh_due(double lastTime, double now, double interval);

// Decoded bytes as text; empty unless every byte is 7-bit ASCII.
std::string cw_ascii_text(const char* bytes, size_t count);
