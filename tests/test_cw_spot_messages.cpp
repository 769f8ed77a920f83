#include "cw_spot_messages.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// 2026-12-08 14:03:20 UTC
constexpr int64_t kUtc = 1796738600;

CW_SPOT_EVENT event(CW_SPOT_EVENT_KIND kind, const char* call, double audioHz, bool cq, int32_t resend = 0)
{
    CW_SPOT_EVENT e{};
    e.kind = kind;
    e.resend = resend;
    std::strncpy(e.spot.call, call, sizeof e.spot.call - 1);
    e.spot.frequencyHz = audioHz;
    e.spot.wpm = 23.6;
    e.spot.snrDb = 18.2;
    e.spot.cq = cq ? 1 : 0;
    return e;
}

const CW_SPOT_TUNING kRadio{.vfoHz = 7025000.0, .mode = "cw", .referencePitchHz = 600.0};

}  // namespace

// The text says speed, SNR and CQ; CQ callers are green (0xFF30D060), the
// others amber (0xFFFFB020).
TEST(CWSpotMessages, ANewSpotGoesToThePanoramaAndTheClusterAtTheRadioFrequency)
{
    const CW_SPOT_MESSAGES m = cw_spot_event_messages(event(CW_SPOT_NEW, "DL2QZA", 900.0, true, 1), kRadio, kUtc);
    EXPECT_EQ(m.tciCommand, "spot:DL2QZA,cw,7025300,4281389152,24 WPM 18 dB CQ;");
    EXPECT_DOUBLE_EQ(m.radioHz, 7025300.0);
    EXPECT_EQ(m.clusterLine.rfind("DX de ZARVO-#:    7025.3  DL2QZA       CW 18 dB 24 WPM CQ", 0), 0u) << m.clusterLine;
    EXPECT_NE(m.clusterLine.find("1403Z"), std::string::npos) << m.clusterLine;
    EXPECT_EQ(cw_spot_event_messages(event(CW_SPOT_NEW, "K1AB", 500.0, false, 1), kRadio, kUtc).tciCommand,
              "spot:K1AB,cw,7024900,4294946848,24 WPM 18 dB;");
    // Lower CW places the spot below the vfo.
    const CW_SPOT_TUNING cwl{.vfoHz = 7025000.0, .mode = "cwl", .referencePitchHz = 600.0};
    EXPECT_EQ(cw_spot_event_messages(event(CW_SPOT_NEW, "DL2QZA", 900.0, false, 1), cwl, kUtc).tciCommand,
              "spot:DL2QZA,cw,7024700,4294946848,24 WPM 18 dB;");
}

TEST(CWSpotMessages, ARefreshIsSentOnlyWhenItIsDueAgain)
{
    const CW_SPOT_MESSAGES quiet = cw_spot_event_messages(event(CW_SPOT_REFRESH, "DL2QZA", 900, true, 0), kRadio, kUtc);
    EXPECT_TRUE(quiet.tciCommand.empty());
    EXPECT_TRUE(quiet.clusterLine.empty());
    const CW_SPOT_MESSAGES due = cw_spot_event_messages(event(CW_SPOT_REFRESH, "DL2QZA", 900, true, 1), kRadio, kUtc);
    EXPECT_EQ(due.tciCommand.rfind("spot:DL2QZA,cw,7025300,", 0), 0u);
    EXPECT_FALSE(due.clusterLine.empty());
}

TEST(CWSpotMessages, ADeletionGoesToThePanoramaOnly)
{
    const CW_SPOT_MESSAGES m = cw_spot_event_messages(event(CW_SPOT_DELETE, "DL2QZA", 900, true), kRadio, kUtc);
    EXPECT_EQ(m.tciCommand, "spot_delete:DL2QZA;");
    EXPECT_TRUE(m.clusterLine.empty());
    // Even when the radio's tuning is gone meanwhile.
    EXPECT_EQ(cw_spot_event_messages(event(CW_SPOT_DELETE, "DL2QZA", 900, true), CW_SPOT_TUNING{}, kUtc).tciCommand,
              "spot_delete:DL2QZA;");
}

TEST(CWSpotMessages, NothingIsSentWhereTheTuningCannotPlaceTheSpotOrForOtherNews)
{
    const CW_SPOT_TUNING unknown{.vfoHz = 0.0, .mode = "cw", .referencePitchHz = 600.0};
    const CW_SPOT_TUNING am{.vfoHz = 7025000.0, .mode = "am", .referencePitchHz = 600.0};
    for (const CW_SPOT_TUNING& tuning : {unknown, am}) {
        const CW_SPOT_MESSAGES m = cw_spot_event_messages(event(CW_SPOT_NEW, "DL2QZA", 900, true, 1), tuning, kUtc);
        EXPECT_TRUE(m.tciCommand.empty());
        EXPECT_TRUE(m.clusterLine.empty());
        EXPECT_EQ(m.radioHz, 0.0);
    }
    for (CW_SPOT_EVENT_KIND kind : {CW_SPOT_NONE, CW_SPOT_SUPPRESSED})
        EXPECT_TRUE(cw_spot_event_messages(event(kind, "DL2QZA", 900, true, 1), kRadio, kUtc).tciCommand.empty());
    // A spot far below the vfo in lower CW would be at a negative frequency.
    const CW_SPOT_TUNING low{.vfoHz = 200.0, .mode = "cwl", .referencePitchHz = 600.0};
    EXPECT_TRUE(cw_spot_event_messages(event(CW_SPOT_NEW, "DL2QZA", 900, true, 1), low, kUtc).tciCommand.empty());
}
