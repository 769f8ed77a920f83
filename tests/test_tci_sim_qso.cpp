#include "tci_sim_qso.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace {

const char* call(size_t station)
{
    return tci_sim_stations()[station].call;
}

}  // namespace

TEST(TciSimQsoScript, ContactOpensWithACqAndIsAnsweredByAnotherStation)
{
    TciSimQso qso(1);
    const TCI_SIM_TRANSMISSION cq = qso.next();
    const TCI_SIM_TRANSMISSION answer = qso.next();
    EXPECT_EQ(cq.text.rfind("CQ CQ CQ DE " + std::string(call(cq.station)), 0), 0u) << cq.text;
    EXPECT_NE(answer.station, cq.station);
    EXPECT_EQ(answer.text.rfind(call(cq.station), 0), 0u) << answer.text;
    EXPECT_NE(answer.text.find(call(answer.station)), std::string::npos);
}

TEST(TciSimQsoScript, TurnsAlternateAndEveryTransmissionHasAPause)
{
    TciSimQso qso(2);
    TCI_SIM_TRANSMISSION last = qso.next();
    for (int i = 0; i < 200; ++i) {
        const TCI_SIM_TRANSMISSION t = qso.next();
        EXPECT_GT(t.pauseSeconds, 0.0);
        EXPECT_FALSE(t.text.empty());
        if (t.text.rfind("CQ", 0) != 0) {
            EXPECT_NE(t.station, last.station) << i;
        }
        last = t;
    }
}

TEST(TciSimQsoScript, EveryPairOfStationsMeets)
{
    TciSimQso qso(3);
    std::set<std::pair<size_t, size_t>> pairs;
    size_t caller = 0;
    for (int i = 0; i < 6 * 24; ++i) {
        const TCI_SIM_TRANSMISSION t = qso.next();
        if (t.text.rfind("CQ", 0) == 0)
            caller = t.station;
        else if (t.station != caller)
            pairs.insert({std::min(caller, t.station), std::max(caller, t.station)});
    }
    const size_t n = tci_sim_stations().size();
    EXPECT_EQ(pairs.size(), n * (n - 1) / 2);
}

TEST(TciSimQsoStations, SpeedsAndPitchesDiffer)
{
    std::set<double> speeds, pitches;
    for (const TCI_SIM_STATION& s : tci_sim_stations()) {
        speeds.insert(s.wpm);
        pitches.insert(s.pitchHz);
    }
    EXPECT_GE(tci_sim_stations().size(), 3u);
    EXPECT_EQ(speeds.size(), tci_sim_stations().size());
    EXPECT_EQ(pitches.size(), tci_sim_stations().size());
}

TEST(TciSimQsoScript, SeedChangesTheReports)
{
    TciSimQso a(1), b(99);
    bool differ = false;
    for (int i = 0; i < 60; ++i)
        differ = differ || a.next().text != b.next().text;
    EXPECT_TRUE(differ);
}
