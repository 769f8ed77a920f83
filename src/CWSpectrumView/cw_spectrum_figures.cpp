#include "cw_spectrum_figures.h"

CW_SPECTRUM_FIGURES cw_spectrum_initial_figures()
{
    CW_SPECTRUM_FIGURES f{};
    f.pitchHz = 600.0;
    f.threshold = 0.03f;
    f.inputDbFS = -120.0;
    return f;
}

CW_SPECTRUM_FIGURES cw_spectrum_figures_from_rx(const CW_RX_CONFIG& config, const CW_RX_STATUS& status,
                                                double inputDbFS)
{
    CW_SPECTRUM_FIGURES f{};
    f.pitchHz = config.pitchHz;
    f.bandwidthHz = config.bandwidthHz;
    f.signalPresent = status.signalPresent;
    f.level = status.level;
    f.threshold = status.threshold;
    f.inputDbFS = inputDbFS;
    f.decoderGain = status.decoderGain;
    f.decoderCost = status.decoderCost;
    f.wpm = status.wpm;
    f.statWpm = status.statWpm;
    f.statQuality = status.statQuality;
    f.statSnrDb = status.statSnrDb;
    f.statOnRatio = status.statOnRatio;
    f.lock = status.lock;
    return f;
}
