// What the spot table answers as calls are offered: new spots, refreshes,
// busted variants, stations moving, spots ageing out and giving way.
#include "cw_spot_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr CW_SPOT_TABLE_CONFIG kConfig{
    .capacity = 8, .maxAgeSeconds = 900.0, .respotSeconds = 600.0, .neighbourHz = 150.0, .qsyHoldSeconds = 0.0};

CW_SPOT_CANDIDATE heard(const char* call, double frequencyHz, double now, int32_t cq = 1)
{
    CW_SPOT_CANDIDATE c{.call = {}, .frequencyHz = frequencyHz, .wpm = 24.0, .snrDb = 12.0, .cq = cq, .now = now};
    std::strncpy(c.call, call, sizeof c.call - 1);
    return c;
}

class CWSpotTable : public ::testing::Test {
protected:
    void SetUp() override { t = cw_spot_table_create(&kConfig); }
    void TearDown() override { cw_spot_table_destroy(t); }

    // Offers a call and returns the number of events; they are in `events`.
    size_t offer(const CW_SPOT_CANDIDATE& c)
    {
        std::memset(events, 0, sizeof events);
        return cw_spot_table_offer(t, &c, events, std::size(events));
    }

    CW_SPOT_TABLE* t = nullptr;
    CW_SPOT_EVENT events[kCWSpotTableOfferEvents];
};

}  // namespace

TEST_F(CWSpotTable, AFirstHearingIsANewSpot)
{
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(offer(heard("DL2QZA", 7012300.0, 10.0)), 1u);
    EXPECT_EQ(events[0].kind, CW_SPOT_NEW);
    EXPECT_EQ(events[0].resend, 1);
    EXPECT_STREQ(events[0].spot.call, "DL2QZA");
    EXPECT_DOUBLE_EQ(events[0].spot.frequencyHz, 7012300.0);
    EXPECT_DOUBLE_EQ(events[0].spot.wpm, 24.0);
    EXPECT_DOUBLE_EQ(events[0].spot.snrDb, 12.0);
    EXPECT_EQ(events[0].spot.cq, 1);
    EXPECT_DOUBLE_EQ(events[0].spot.firstHeard, 10.0);
    EXPECT_EQ(cw_spot_table_count(t), 1u);
}

TEST_F(CWSpotTable, NotACallIsNone)
{
    for (const CW_SPOT_CANDIDATE& c : {heard("5NN", 7012300.0, 1.0), heard("", 7012300.0, 1.0),
                                       heard("DL2QZA", 0.0, 1.0), heard("DL2QZA", std::nan(""), 1.0)}) {
        ASSERT_EQ(offer(c), 1u);
        EXPECT_EQ(events[0].kind, CW_SPOT_NONE);
    }
    EXPECT_EQ(cw_spot_table_count(t), 0u);
}

// The same station near its spot again: refreshed; worth sending again to
// the cluster only once respotSeconds have passed since it was sent.
TEST_F(CWSpotTable, HeardAgainNearbyRefreshes)
{
    offer(heard("DL2QZA", 7012300.0, 10.0));
    ASSERT_EQ(offer(heard("DL2QZA", 7012340.0, 100.0, 0)), 1u);
    EXPECT_EQ(events[0].kind, CW_SPOT_REFRESH);
    EXPECT_EQ(events[0].resend, 0);
    EXPECT_DOUBLE_EQ(events[0].spot.frequencyHz, 7012340.0);
    EXPECT_DOUBLE_EQ(events[0].spot.firstHeard, 10.0);
    EXPECT_DOUBLE_EQ(events[0].spot.lastHeard, 100.0);
    EXPECT_EQ(events[0].spot.cq, 0);

    offer(heard("DL2QZA", 7012300.0, 610.0));
    EXPECT_EQ(events[0].kind, CW_SPOT_REFRESH);
    EXPECT_EQ(events[0].resend, 1);  // 600 s after it was sent
    offer(heard("DL2QZA", 7012300.0, 700.0));
    EXPECT_EQ(events[0].resend, 0);  // sent again at 610 s
    EXPECT_EQ(cw_spot_table_count(t), 1u);
}

// A call one character off next to a spot is a misreading of it; far away,
// or clearly different, it is another station.
TEST_F(CWSpotTable, BustedVariantsNearASpotAreSuppressed)
{
    offer(heard("DL2QZA", 7012300.0, 10.0));
    for (const char* busted : {"DL2QZE", "DL2QZ", "DL2QZET", "DL2QZA/P", "DL2QIA"}) {
        ASSERT_EQ(offer(heard(busted, 7012350.0, 20.0)), 1u) << busted;
        EXPECT_EQ(events[0].kind, CW_SPOT_SUPPRESSED) << busted;
        EXPECT_STREQ(events[0].similarTo, "DL2QZA") << busted;
        EXPECT_STREQ(events[0].spot.call, busted);
    }
    EXPECT_EQ(cw_spot_table_count(t), 1u);

    offer(heard("DL2QZE", 7012500.0, 30.0));  // 200 Hz away
    EXPECT_EQ(events[0].kind, CW_SPOT_NEW);
    offer(heard("G4ABC", 7012320.0, 30.0));  // next to it, not alike
    EXPECT_EQ(events[0].kind, CW_SPOT_NEW);
    EXPECT_EQ(cw_spot_table_count(t), 3u);
}

// The first decode of a station may be the busted one: the right call,
// heard more often there, takes the spot over.
TEST_F(CWSpotTable, AVariantHeardMoreOftenThanTheSpotReplacesIt)
{
    offer(heard("DL2QZE", 7012300.0, 10.0));
    offer(heard("DL2QZA", 7012310.0, 20.0));
    EXPECT_EQ(events[0].kind, CW_SPOT_SUPPRESSED);
    ASSERT_EQ(offer(heard("DL2QZA", 7012310.0, 30.0)), 2u);
    EXPECT_EQ(events[0].kind, CW_SPOT_DELETE);
    EXPECT_STREQ(events[0].spot.call, "DL2QZE");
    EXPECT_EQ(events[1].kind, CW_SPOT_NEW);
    EXPECT_STREQ(events[1].spot.call, "DL2QZA");
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    // Now the bust is the rival, and the spot was heard twice already.
    offer(heard("DL2QZE", 7012300.0, 40.0));
    EXPECT_EQ(events[0].kind, CW_SPOT_SUPPRESSED);
    offer(heard("DL2QZE", 7012300.0, 50.0));
    EXPECT_EQ(events[0].kind, CW_SPOT_SUPPRESSED);

    // A spot heard often is not displaced by variants that take turns.
    offer(heard("G4ABC", 7020000.0, 60.0));
    offer(heard("G4ABC", 7020000.0, 70.0));
    for (const char* busted : {"G4ABE", "G4ABI", "G4ABE", "G4ABI", "G4ABE", "G4ABI"}) {
        offer(heard(busted, 7020000.0, 80.0));
        EXPECT_EQ(events[0].kind, CW_SPOT_SUPPRESSED) << busted;
    }
}

// One spot per call: heard far from its spot, the station has moved.
TEST_F(CWSpotTable, AStationThatMovesIsSpottedAgainWhereItIs)
{
    offer(heard("DL2QZA", 7012300.0, 10.0));
    ASSERT_EQ(offer(heard("DL2QZA", 7025000.0, 300.0)), 2u);
    EXPECT_EQ(events[0].kind, CW_SPOT_DELETE);
    EXPECT_DOUBLE_EQ(events[0].spot.frequencyHz, 7012300.0);
    EXPECT_EQ(events[1].kind, CW_SPOT_NEW);
    EXPECT_EQ(events[1].resend, 1);
    EXPECT_DOUBLE_EQ(events[1].spot.frequencyHz, 7025000.0);
    EXPECT_DOUBLE_EQ(events[1].spot.firstHeard, 300.0);
    EXPECT_EQ(cw_spot_table_count(t), 1u);
}

// With a hold, the call heard elsewhere while still heard at its spot is
// an echo (key clicks, or someone sending it), not the station moving.
TEST_F(CWSpotTable, AHoldKeepsTheSpotWhileItIsStillHeard)
{
    CW_SPOT_TABLE_CONFIG config = kConfig;
    config.qsyHoldSeconds = 30.0;
    cw_spot_table_configure(t, &config);
    offer(heard("DL2QZA", 7012300.0, 10.0));
    ASSERT_EQ(offer(heard("DL2QZA", 7012600.0, 20.0)), 1u);
    EXPECT_EQ(events[0].kind, CW_SPOT_SUPPRESSED);
    EXPECT_STREQ(events[0].similarTo, "DL2QZA");
    ASSERT_EQ(offer(heard("DL2QZA", 7012600.0, 45.0)), 2u);  // 35 s after last heard at 7012300
    EXPECT_EQ(events[1].kind, CW_SPOT_NEW);
}

TEST_F(CWSpotTable, SpotsNotHeardForTheMaximumAgeAreDeleted)
{
    offer(heard("DL2QZA", 7012300.0, 0.0));
    offer(heard("G4ABC", 7020000.0, 500.0));
    CW_SPOT_EVENT expired[4];
    EXPECT_EQ(cw_spot_table_expire(t, 899.0, expired, std::size(expired)), 0u);
    ASSERT_EQ(cw_spot_table_expire(t, 900.0, expired, std::size(expired)), 1u);
    EXPECT_EQ(expired[0].kind, CW_SPOT_DELETE);
    EXPECT_STREQ(expired[0].spot.call, "DL2QZA");
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    // Gone, the call is new again; a refresh keeps the other one alive.
    offer(heard("DL2QZA", 7012300.0, 950.0));
    EXPECT_EQ(events[0].kind, CW_SPOT_NEW);
    offer(heard("G4ABC", 7020000.0, 1300.0));
    EXPECT_EQ(cw_spot_table_expire(t, 1500.0, expired, std::size(expired)), 0u);
}

TEST_F(CWSpotTable, ExpiryHandsOutAsManyAsFitAndTheRestLater)
{
    offer(heard("DL2QZA", 7012300.0, 0.0));
    offer(heard("G4ABC", 7020000.0, 0.0));
    offer(heard("W1AW", 7030000.0, 0.0));
    CW_SPOT_EVENT expired[2];
    EXPECT_EQ(cw_spot_table_expire(t, 1000.0, expired, 2), 2u);
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    EXPECT_EQ(cw_spot_table_expire(t, 1000.0, expired, 2), 1u);
    EXPECT_EQ(cw_spot_table_count(t), 0u);
}

// A full table: the spot heard longest ago gives way, and the caller is
// told with a DELETE ahead of the NEW.
TEST_F(CWSpotTable, WhenFullTheLeastRecentlyHeardGivesWay)
{
    const char* calls[] = {"K1ABC", "W1AW", "DL2QZA", "4X4AB", "9A1A", "G4ABC", "JA1XYZ", "E51ABC"};
    for (size_t i = 0; i < std::size(calls); ++i)
        offer(heard(calls[i], 7000000.0 + 1000.0 * i, 10.0 + i));
    offer(heard("K1ABC", 7000000.0, 100.0));  // heard again: now W1AW is the oldest
    ASSERT_EQ(offer(heard("3DA0XY", 7020000.0, 120.0)), 2u);
    EXPECT_EQ(events[0].kind, CW_SPOT_DELETE);
    EXPECT_STREQ(events[0].spot.call, "W1AW");
    EXPECT_EQ(events[1].kind, CW_SPOT_NEW);
    EXPECT_STREQ(events[1].spot.call, "3DA0XY");
    EXPECT_EQ(cw_spot_table_count(t), 8u);

    // Room for the answer only: the DELETE is left out, the answer stays last.
    CW_SPOT_EVENT one[1];
    const CW_SPOT_CANDIDATE c = heard("VE3XYZ", 7021000.0, 130.0);
    ASSERT_EQ(cw_spot_table_offer(t, &c, one, 1), 1u);
    EXPECT_EQ(one[0].kind, CW_SPOT_NEW);
    EXPECT_EQ(cw_spot_table_count(t), 8u);
}

TEST_F(CWSpotTable, TheListIsNewestFirst)
{
    offer(heard("DL2QZA", 7012300.0, 10.0));
    offer(heard("G4ABC", 7020000.0, 30.0));
    offer(heard("W1AW", 7030000.0, 20.0));
    CW_SPOT spots[8];
    ASSERT_EQ(cw_spot_table_list(t, spots, std::size(spots)), 3u);
    EXPECT_STREQ(spots[0].call, "G4ABC");
    EXPECT_STREQ(spots[1].call, "W1AW");
    EXPECT_STREQ(spots[2].call, "DL2QZA");
    offer(heard("DL2QZA", 7012300.0, 40.0));
    ASSERT_EQ(cw_spot_table_list(t, spots, 2), 2u);  // the two newest
    EXPECT_STREQ(spots[0].call, "DL2QZA");
    EXPECT_STREQ(spots[1].call, "G4ABC");
}

TEST(CWSpotTableHandles, ValuesAreClampedAndNullIsSafe)
{
    CW_SPOT_TABLE_CONFIG config = kConfig;
    config.capacity = 0;
    config.maxAgeSeconds = std::nan("");
    CW_SPOT_TABLE* t = cw_spot_table_create(&config);
    ASSERT_NE(t, nullptr);
    CW_SPOT_EVENT events[2];
    const CW_SPOT_CANDIDATE a = heard("DL2QZA", 7012300.0, 10.0);
    const CW_SPOT_CANDIDATE b = heard("G4ABC", 7020000.0, 11.0);
    EXPECT_EQ(cw_spot_table_offer(t, &a, events, 2), 1u);
    EXPECT_EQ(cw_spot_table_offer(t, &b, events, 2), 2u);  // a capacity of one
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    EXPECT_EQ(cw_spot_table_expire(t, 12.0, events, 2), 1u);  // the age is at least a second
    cw_spot_table_destroy(t);

    EXPECT_EQ(cw_spot_table_create(nullptr), nullptr);
    EXPECT_EQ(cw_spot_table_offer(nullptr, &a, events, 2), 0u);
    EXPECT_EQ(cw_spot_table_expire(nullptr, 1.0, events, 2), 0u);
    EXPECT_EQ(cw_spot_table_list(nullptr, nullptr, 0), 0u);
    EXPECT_EQ(cw_spot_table_count(nullptr), 0u);
    cw_spot_table_configure(nullptr, &kConfig);
    cw_spot_table_destroy(nullptr);
}
