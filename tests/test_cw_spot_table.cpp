// What the spot table answers as calls are offered: new spots, refreshes,
// busted variants, stations moving, spots ageing out and giving way.
#include "cw_spot_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

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
    // Offers a call and tells the events, "KIND CALL" each, a suppressed one "SUPPRESSED CALL~SPOTTED", NONE alone.
    std::string says(const CW_SPOT_CANDIDATE& c)
    {
        const char* kinds[] = {"NONE", "NEW", "REFRESH", "SUPPRESSED", "DELETE"};
        std::string told;
        for (size_t i = 0, n = offer(c); i < n; ++i)
            told += (i ? ", " : "") + std::string(kinds[events[i].kind]) +
                    (events[i].kind == CW_SPOT_NONE ? "" : " " + std::string(events[i].spot.call)) +
                    (events[i].kind == CW_SPOT_SUPPRESSED ? "~" + std::string(events[i].similarTo) : "");
        return told;
    }

    CW_SPOT_TABLE* t = nullptr;
    CW_SPOT_EVENT events[kCWSpotTableOfferEvents];
};

}  // namespace

// A first hearing of a call is a new spot; what is not a call, or has no
// frequency, is none.
TEST_F(CWSpotTable, AFirstHearingIsANewSpot)
{
    ASSERT_NE(t, nullptr);
    for (const CW_SPOT_CANDIDATE& c : {heard("5NN", 7012300.0, 1.0), heard("", 7012300.0, 1.0),
                                       heard("DL2QZA", 0.0, 1.0), heard("DL2QZA", std::nan(""), 1.0)})
        EXPECT_EQ(says(c), "NONE") << c.call;
    EXPECT_EQ(cw_spot_table_count(t), 0u);
    EXPECT_EQ(says(heard("DL2QZA", 7012300.0, 10.0)), "NEW DL2QZA");
    const CW_SPOT& s = events[0].spot;
    EXPECT_EQ(events[0].resend, 1);
    EXPECT_TRUE(s.frequencyHz == 7012300.0 && s.wpm == 24.0 && s.snrDb == 12.0 && s.cq == 1 && s.firstHeard == 10.0);
    EXPECT_EQ(cw_spot_table_count(t), 1u);
}

// The same station near its spot again: refreshed; worth sending again to
// the cluster only once respotSeconds have passed since it was sent.
TEST_F(CWSpotTable, HeardAgainNearbyRefreshes)
{
    offer(heard("DL2QZA", 7012300.0, 10.0));
    EXPECT_EQ(says(heard("DL2QZA", 7012340.0, 100.0, 0)), "REFRESH DL2QZA");
    const CW_SPOT& s = events[0].spot;
    EXPECT_TRUE(events[0].resend == 0 && s.frequencyHz == 7012340.0 && s.firstHeard == 10.0 && s.lastHeard == 100.0);
    EXPECT_EQ(s.cq, 0);
    EXPECT_EQ(says(heard("DL2QZA", 7012300.0, 610.0)), "REFRESH DL2QZA");
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
    for (const char* busted : {"DL2QZE", "DL2QZ", "DL2QZET", "DL2QZA/P", "DL2QIA"})
        EXPECT_EQ(says(heard(busted, 7012350.0, 20.0)), "SUPPRESSED " + std::string(busted) + "~DL2QZA");
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    EXPECT_EQ(says(heard("DL2QZE", 7012500.0, 30.0)), "NEW DL2QZE");  // 200 Hz away
    EXPECT_EQ(says(heard("G4ABC", 7012320.0, 30.0)), "NEW G4ABC");    // next to it, not alike
    EXPECT_EQ(cw_spot_table_count(t), 3u);
}

// The first decode of a station may be the busted one: the right call,
// heard more often there, takes the spot over.
TEST_F(CWSpotTable, AVariantHeardMoreOftenThanTheSpotReplacesIt)
{
    offer(heard("DL2QZE", 7012300.0, 10.0));
    EXPECT_EQ(says(heard("DL2QZA", 7012310.0, 20.0)), "SUPPRESSED DL2QZA~DL2QZE");
    EXPECT_EQ(says(heard("DL2QZA", 7012310.0, 30.0)), "DELETE DL2QZE, NEW DL2QZA");
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    // Now the bust is the rival, and the spot was heard twice already.
    EXPECT_EQ(says(heard("DL2QZE", 7012300.0, 40.0)), "SUPPRESSED DL2QZE~DL2QZA");
    EXPECT_EQ(says(heard("DL2QZE", 7012300.0, 50.0)), "SUPPRESSED DL2QZE~DL2QZA");

    // A spot heard often is not displaced by variants that take turns.
    offer(heard("G4ABC", 7020000.0, 60.0));
    offer(heard("G4ABC", 7020000.0, 70.0));
    for (const char* busted : {"G4ABE", "G4ABI", "G4ABE", "G4ABI", "G4ABE", "G4ABI"})
        EXPECT_EQ(says(heard(busted, 7020000.0, 80.0)), "SUPPRESSED " + std::string(busted) + "~G4ABC");
}

// One spot per call: heard far from its spot, the station has moved. With a
// hold, the call heard elsewhere while still heard at its spot is an echo
// (key clicks, or someone sending it), not the station moving.
TEST_F(CWSpotTable, AStationThatMovesIsSpottedAgainWhereItIs)
{
    offer(heard("DL2QZA", 7012300.0, 10.0));
    EXPECT_EQ(says(heard("DL2QZA", 7025000.0, 300.0)), "DELETE DL2QZA, NEW DL2QZA");
    EXPECT_DOUBLE_EQ(events[0].spot.frequencyHz, 7012300.0);
    EXPECT_TRUE(events[1].resend == 1 && events[1].spot.frequencyHz == 7025000.0 && events[1].spot.firstHeard == 300.0);
    EXPECT_EQ(cw_spot_table_count(t), 1u);

    CW_SPOT_TABLE_CONFIG config = kConfig;
    config.qsyHoldSeconds = 30.0;
    cw_spot_table_configure(t, &config);
    EXPECT_EQ(says(heard("DL2QZA", 7025300.0, 310.0)), "SUPPRESSED DL2QZA~DL2QZA");
    // 35 s after last heard at 7025000
    EXPECT_EQ(says(heard("DL2QZA", 7025300.0, 335.0)), "DELETE DL2QZA, NEW DL2QZA");
}

// Spots not heard for the maximum age are deleted, as many as fit at a
// time and the rest later.
TEST_F(CWSpotTable, SpotsNotHeardForTheMaximumAgeAreDeleted)
{
    offer(heard("DL2QZA", 7012300.0, 0.0));
    offer(heard("G4ABC", 7020000.0, 500.0));
    CW_SPOT_EVENT expired[4];
    EXPECT_EQ(cw_spot_table_expire(t, 899.0, expired, std::size(expired)), 0u);
    ASSERT_EQ(cw_spot_table_expire(t, 900.0, expired, std::size(expired)), 1u);
    EXPECT_TRUE(expired[0].kind == CW_SPOT_DELETE && std::string(expired[0].spot.call) == "DL2QZA");
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    // Gone, the call is new again; a refresh keeps the other one alive.
    EXPECT_EQ(says(heard("DL2QZA", 7012300.0, 950.0)), "NEW DL2QZA");
    offer(heard("G4ABC", 7020000.0, 1300.0));
    EXPECT_EQ(cw_spot_table_expire(t, 1500.0, expired, std::size(expired)), 0u);

    offer(heard("W1AW", 7030000.0, 1300.0));
    EXPECT_EQ(cw_spot_table_expire(t, 3000.0, expired, 2), 2u);
    EXPECT_EQ(cw_spot_table_count(t), 1u);
    EXPECT_EQ(cw_spot_table_expire(t, 3000.0, expired, 2), 1u);
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
    EXPECT_EQ(says(heard("3DA0XY", 7020000.0, 120.0)), "DELETE W1AW, NEW 3DA0XY");
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
