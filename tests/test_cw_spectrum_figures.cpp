#include "cw_spectrum_figures.h"

#include <gtest/gtest.h>

TEST(SpectrumFigures, PitchComesFromTheConfigurationAndTheRestFromTheStatus)
{
    CW_RX_CONFIG config = cw_rx_default_config();
    config.pitchHz = 710.0;
    config.bandwidthHz = 90.0;
    CW_RX_STATUS status{};
    status.pitchHz = 1111.0;  // the engine's own estimate is not what the view marks
    status.level = 0.25f;
    status.threshold = 0.6f;
    status.signalPresent = 1;
    status.lock = 2;
    status.wpm = 24.0;
    status.decoderGain = 1.0f;
    status.decoderCost = 3.5f;
    status.statWpm = 23.0;
    status.statQuality = 80.0f;
    status.statSnrDb = 14.0f;
    status.statOnRatio = 0.4f;
    const CW_SPECTRUM_FIGURES f = cw_spectrum_figures_from_rx(config, status, -31.0);
    EXPECT_EQ(f.pitchHz, 710.0);
    EXPECT_EQ(f.bandwidthHz, 90.0);
    EXPECT_EQ(f.level, 0.25f);
    EXPECT_EQ(f.threshold, 0.6f);
    EXPECT_EQ(f.signalPresent, 1);
    EXPECT_EQ(f.lock, 2);
    EXPECT_EQ(f.inputDbFS, -31.0);
    EXPECT_EQ(f.wpm, 24.0);
    EXPECT_EQ(f.decoderGain, 1.0);
    EXPECT_EQ(f.decoderCost, 3.5);
    EXPECT_EQ(f.statWpm, 23.0);
    EXPECT_EQ(f.statQuality, 80.0);
    EXPECT_EQ(f.statSnrDb, 14.0);
    EXPECT_FLOAT_EQ(static_cast<float>(f.statOnRatio), 0.4f);
}
