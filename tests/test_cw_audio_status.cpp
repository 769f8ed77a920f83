#include "cw_audio_status.h"

#include <gtest/gtest.h>

namespace {

CW_RX_STATUS status_with(float cost, int32_t lock)
{
    CW_RX_STATUS status{};
    status.decoderCost = cost;
    status.lock = lock;
    status.wpm = 22.0;
    status.statWpm = 21.5;
    status.statQuality = 84.0f;
    status.statSnrDb = 23.0f;
    return status;
}

TEST(AudioStatusLine, ShowsEveryFigureInItsGroup)
{
    EXPECT_EQ(cw_audio_status_line(48000, -19.54, 605, 600, status_with(0.3f, 2)),
              "RX 48000 Hz  In -19.5 dBFS  Peak 605  \u0394+5  Cost 0.30  QOM 22.0  STAT 21.5 Q84 SNR23  LOCK");
    EXPECT_EQ(cw_audio_status_line(12000, -120, 600, 600, status_with(0, 0)),
              "RX 12000 Hz  In -120.0 dBFS  Peak 600  \u0394+0  Cost 0.00  QOM 22.0  STAT 21.5 Q84 SNR23  UNLOCK");
}

TEST(AudioStatusLine, InputLevelIsHeldToItsRange)
{
    EXPECT_DOUBLE_EQ(cw_input_dbfs(0.0), -120.0);
    EXPECT_DOUBLE_EQ(cw_input_dbfs(-1.0), -120.0);
    EXPECT_DOUBLE_EQ(cw_input_dbfs(20.0), 20.0);
    EXPECT_DOUBLE_EQ(cw_input_dbfs(1e-9), -120.0);
    EXPECT_NEAR(cw_input_dbfs(0.1), -20.0, 1e-12);
}

TEST(AudioThrottle, IsDueFirstAndThenOncePerInterval)
{
    EXPECT_TRUE(cw_refresh_due(0.0, 5.0, 0.2));
    EXPECT_FALSE(cw_refresh_due(5.0, 5.19, 0.2));
    EXPECT_TRUE(cw_refresh_due(5.0, 5.2, 0.2));
}

TEST(DecodedBytes, OnlySevenBitTextPasses)
{
    EXPECT_EQ(cw_ascii_text("CQ DE", 5), "CQ DE");
    EXPECT_EQ(cw_ascii_text("CQ\xc3\xa9", 4), "");
    EXPECT_EQ(cw_ascii_text(nullptr, 3), "");
}

}  // namespace
