// Spots as DX-cluster lines: loggers read them by fixed columns, so every
// field must land where they look, whatever it holds.
#include "cw_cluster_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr int64_t kDay = 86400;

int64_t utc(int64_t day, int hour, int minute, int second)
{
    return day * kDay + hour * 3600 + minute * 60 + second;
}

CW_CLUSTER_SPOT spot(double hz, const std::string& call)
{
    return CW_CLUSTER_SPOT{.spotter = "ZARVO-#",
                           .frequencyHz = hz,
                           .call = call,
                           .snrDb = 18.0,
                           .wpm = 24.0,
                           .cq = true,
                           .utcSeconds = utc(20000, 14, 3, 27)};
}

// The text at 1-based columns first..last.
std::string columns(const std::string& line, size_t first, size_t last)
{
    return line.substr(first - 1, last - first + 1);
}

}  // namespace

// "DX de " and the spotter in 1..14, the frequency ending at 24, the call
// from 27, the comment from 40 and the time at 71..75.
TEST(CwClusterLine, ASpotLandsInTheClassicColumns)
{
    EXPECT_EQ(cw_cluster_spot_line(spot(7025300.0, "DL2QZA")),
              "DX de ZARVO-#:    7025.3  DL2QZA       CW 18 dB 24 WPM CQ             1403Z\r\n");
}

TEST(CwClusterLine, FieldsAreCleanedRoundedAndClamped)
{
    CW_CLUSTER_SPOT s = spot(144174000.0, " oh2 abc\t");
    s.spotter = "zarvo-#", s.snrDb = -3.4, s.wpm = 17.5, s.cq = false, s.utcSeconds = 0;
    EXPECT_EQ(cw_cluster_spot_line(s),
              "DX de ZARVO-#:  144174.0  OH2ABC       CW -3 dB 18 WPM                0000Z\r\n");

    EXPECT_EQ(cw_cluster_spot_comment(18.4, 24.0, true), "CW 18 dB 24 WPM CQ");
    EXPECT_EQ(cw_cluster_spot_comment(-150.0, 400.0, false), "CW -99 dB 99 WPM");
    EXPECT_EQ(cw_cluster_spot_comment(std::nan(""), -5.0, false), "CW 0 dB 0 WPM");
    EXPECT_EQ(cw_cluster_spot_comment(INFINITY, INFINITY, true), "CW 0 dB 0 WPM CQ");
}

// Tenths of kHz come from whole hundreds of Hz, halves rounded up.
TEST(CwClusterLine, FrequencyIsKilohertzWithOneDecimal)
{
    const struct {
        double hz;
        const char* khz;  // columns 15..24
    } cases[] = {
        {7025349.9, "    7025.3"},    {7025350.0, "    7025.4"}, {1800000.0, "    1800.0"},
        {14025000.0, "   14025.0"},   {0.0, "       0.0"},       {-7e6, "       0.0"},
        {std::nan(""), "       0.0"}, {1e300, "99999999.9"},     {10368100000.0, "10368100.0"},
    };
    for (const auto& k : cases) {
        const std::string line = cw_cluster_spot_line(spot(k.hz, "DL2QZA"));
        EXPECT_EQ(columns(line, 15, 24), k.khz) << k.hz;
        EXPECT_EQ(columns(line, 25, 32), "  DL2QZA") << k.hz;
        EXPECT_EQ(line.size(), 77u) << k.hz;
    }
}

// Above 10 MHz each frequency digit takes one of the spotter's characters,
// so ':' and a space always come before the frequency.
TEST(CwClusterLine, HighFrequenciesAndLongSpottersKeepTheFrequencyColumn)
{
    EXPECT_EQ(cw_cluster_spot_line(spot(10368100000.0, "DL2QZA")),
              "DX de ZARVO-: 10368100.0  DL2QZA       CW 18 dB 24 WPM CQ             1403Z\r\n");
    CW_CLUSTER_SPOT s = spot(7025300.0, "DL2QZA");
    s.spotter = "VERYLONGSPOTTER";
    EXPECT_EQ(columns(cw_cluster_spot_line(s), 1, 25), "DX de VERYLONGSP: 7025.3 ");
    s.frequencyHz = 144174000.0;
    EXPECT_EQ(columns(cw_cluster_spot_line(s), 1, 25), "DX de VERYLONG: 144174.0 ");
}

// A long call is never cut short of 42 characters: the comment moves right
// and shrinks, and the time stays put.
TEST(CwClusterLine, LongCallsPushTheCommentButNotTheTime)
{
    EXPECT_EQ(cw_cluster_spot_line(spot(7025300.0, "VP2E/DL2QZA/MM")),
              "DX de ZARVO-#:    7025.3  VP2E/DL2QZA/MM CW 18 dB 24 WPM CQ           1403Z\r\n");
    const std::string twelve = cw_cluster_spot_line(spot(7025300.0, "VP2E/DL2QZA/"));
    EXPECT_EQ(columns(twelve, 27, 40), "VP2E/DL2QZA/ C");

    const std::string call(50, 'A');
    const std::string longest = cw_cluster_spot_line(spot(7025300.0, call));
    EXPECT_EQ(longest, "DX de ZARVO-#:    7025.3  " + std::string(42, 'A') + "  1403Z\r\n");
    const std::string comment40 = cw_cluster_spot_line(spot(7025300.0, std::string(40, 'B')));
    EXPECT_EQ(columns(comment40, 27, 77), std::string(40, 'B') + " CW" + " 1403Z\r\n");
}

TEST(CwClusterLine, TimeIsTheUtcHourAndMinute)
{
    CW_CLUSTER_SPOT s = spot(7025300.0, "DL2QZA");
    for (auto [seconds, text] : {std::pair{utc(1, 23, 59, 59), "2359Z"},
                                 {utc(20000, 0, 0, 0), "0000Z"},
                                 {utc(3, 9, 5, 0), "0905Z"},
                                 {int64_t{-60}, "0000Z"},
                                 {INT64_MAX, "1530Z"}}) {
        s.utcSeconds = seconds;
        EXPECT_EQ(columns(cw_cluster_spot_line(s), 71, 75), text) << seconds;
    }
}
