// The figures the spectrum view shows, taken from the receiver.
#include "cw_spectrum_figures.h"

#include <gtest/gtest.h>

// The view marks the pitch the receiver is set to, not the engine's estimate.
TEST(SpectrumFigures, PitchComesFromTheConfigurationAndTheRestFromTheStatus)
{
    CW_RX_CONFIG config = cw_rx_default_config();
    config.pitchHz = 710.0, config.bandwidthHz = 90.0;
    CW_RX_STATUS status{};
    status.threshold = 0.6f, status.lock = 2, status.pitchHz = 1111.0, status.decoderCost = 3.5f,
    status.statOnRatio = 0.4f;
    const CW_SPECTRUM_FIGURES f = cw_spectrum_figures_from_rx(config, status, -31.0);
    EXPECT_TRUE(f.pitchHz == 710.0 && f.bandwidthHz == 90.0 && f.inputDbFS == -31.0);
    EXPECT_TRUE(f.threshold == 0.6f && f.lock == 2 && f.decoderCost == 3.5);
    EXPECT_FLOAT_EQ(static_cast<float>(f.statOnRatio), 0.4f);
}
