// The receiver figures that come with every block of samples handed to the
// spectrum view: the pitch it marks and the values its diagnostics line
// prints. Bandwidth, level and gain are carried but not shown.
#pragma once

#include <cstdint>

#include "CWRx.h"

struct CW_SPECTRUM_FIGURES {
    double pitchHz;
    double bandwidthHz;
    int32_t signalPresent;
    float level;
    float threshold;
    double inputDbFS;
    double decoderGain;
    double decoderCost;
    double wpm;
    double statWpm;
    double statQuality;
    double statSnrDb;
    double statOnRatio;  // 0..1
    int32_t lock;        // <= 0 unlocked, 1 tracking, >= 2 locked
};

// What the view shows before its first update: 600 Hz, threshold 0.03,
// -120 dBFS, everything else 0.
CW_SPECTRUM_FIGURES cw_spectrum_initial_figures();

// The pitch and bandwidth of the configuration the block was decoded with,
// the rest from the status read after it; the input level in dBFS is the
// caller's, as it is shared with the status line.
CW_SPECTRUM_FIGURES cw_spectrum_figures_from_rx(const CW_RX_CONFIG& config, const CW_RX_STATUS& status,
                                                double inputDbFS);
