// The audio status line and the helpers that feed it.
#include "cw_audio_status.h"

#include <gtest/gtest.h>

TEST(AudioStatusLine, ShowsEveryFigureWithTheInputLevelHeldToItsRange)
{
    CW_RX_STATUS status{};
    status.lock = 2, status.wpm = 22.0, status.decoderCost = 0.3f, status.statWpm = 21.5, status.statQuality = 84.0f;
    status.statSnrDb = 23.0f;
    const std::string full =
        "RX 48000 Hz  In -19.5 dBFS  Peak 605  \u0394+5  Cost 0.30  22.0 WPM  STAT 21.5 Q84 SNR23  LOCK";
    EXPECT_EQ(cw_audio_status_line(48000, -19.54, 605, 600, status, 200), full);
    EXPECT_EQ(cw_audio_status_line(48000, -19.54, 605, 600, status, 89), full);  // 89 characters, 90 bytes
    // Narrower: the figures the operator needs least go first, the lock word never.
    EXPECT_EQ(cw_audio_status_line(48000, -19.54, 605, 600, status, 88),
              "RX 48000 Hz  In -19.5 dBFS  Peak 605  \u0394+5  22.0 WPM  STAT 21.5 Q84 SNR23  LOCK");
    EXPECT_EQ(cw_audio_status_line(48000, -19.54, 605, 600, status, 50),
              "RX 48000 Hz  In -19.5 dBFS  \u0394+5  22.0 WPM  LOCK");
    EXPECT_EQ(cw_audio_status_line(48000, -19.54, 605, 600, status, 10), "22.0 WPM  LOCK");
    status.lock = 0;
    const std::string unlocked = cw_audio_status_line(12000, -120, 600, 600, status, 200);
    EXPECT_NE(unlocked.find("In -120.0 dBFS  Peak 600  \u0394+0  "), std::string::npos) << unlocked;
    EXPECT_TRUE(unlocked.ends_with("  UNLOCK")) << unlocked;
    for (auto [level, db] : {std::pair{0.0, -120.0}, {-1.0, -120.0}, {1e-9, -120.0}, {0.1, -20.0}, {20.0, 20.0}})
        EXPECT_NEAR(cw_input_dbfs(level), db, 1e-12) << level;
}

TEST(AudioStatusLine, RefreshesOncePerIntervalAndPassesOnlySevenBitText)
{
    EXPECT_TRUE(cw_refresh_due(0.0, 5.0, 0.2) && !cw_refresh_due(5.0, 5.19, 0.2) && cw_refresh_due(5.0, 5.2, 0.2));
    EXPECT_EQ(cw_ascii_text("CQ DE", 5), "CQ DE");
    EXPECT_EQ(cw_ascii_text("CQ\xc3\xa9", 4) + cw_ascii_text(nullptr, 3), "");
}
