// Placing the echo of transmitted lines among the received text.
#include "cw_tx_echo.h"

#include <gtest/gtest.h>

namespace {

using Pieces = std::vector<CW_TX_ECHO_PIECE>;

std::string joined(const Pieces& pieces)
{
    std::string text;
    for (const CW_TX_ECHO_PIECE& p : pieces)
        text += (p.line ? "[" : "") + p.text + (p.line ? "]" : "");
    return text;
}

}  // namespace

TEST(TxEcho, KeyingTakesParisTime)
{
    EXPECT_DOUBLE_EQ(cw_morse_keying_seconds("PARIS ", 20.0), 3.0);  // 50 dot units of 60 ms
    EXPECT_DOUBLE_EQ(cw_morse_keying_seconds("paris ", 10.0), 6.0);
    EXPECT_DOUBLE_EQ(cw_morse_keying_seconds("#", 12.0), 0.7);  // no code: a word space
    EXPECT_EQ(cw_morse_keying_seconds("CQ", 0.0), 0.0);
}

// A line waits while a received word is under way, then goes in after the
// word's blank; at a word end it goes in at once; it never waits long.
TEST(TxEcho, ALineGoesInBetweenWholeWords)
{
    CW_TX_ECHO echo;
    cw_tx_echo_sent(&echo, "CQ", 20.0, 100.0);
    EXPECT_TRUE(cw_tx_echo_due(&echo, false, false, 100.5).empty());
    EXPECT_EQ(joined(cw_tx_echo_received(&echo, "ABC", false, false, 100.6)), "ABC");
    EXPECT_EQ(joined(cw_tx_echo_received(&echo, "DE K", false, false, 100.7)), "DE [\nTX: CQ\n]K");
    EXPECT_EQ(joined(cw_tx_echo_received(&echo, "ANY", false, false, 100.8)), "ANY");

    cw_tx_echo_sent(&echo, "TU", 20.0, 101.0);
    EXPECT_EQ(joined(cw_tx_echo_received(&echo, "R", true, true, 101.1)), "[TX: TU\n]R");

    cw_tx_echo_sent(&echo, "73", 20.0, 102.0);
    EXPECT_TRUE(cw_tx_echo_due(&echo, false, false, 103.4).empty());
    EXPECT_EQ(joined(cw_tx_echo_due(&echo, false, false, 103.5)), "[\nTX: 73\n]");  // waited long enough
}

// Stop names the shown lines still being keyed, newest first, and marks a
// line that is still waiting; lines keyed to the end stay as they are.
TEST(TxEcho, StopNamesTheLinesCutShort)
{
    CW_TX_ECHO echo;
    cw_tx_echo_sent(&echo, "PARIS", 20.0, 0.0);  // keyed 0.0 .. 2.76 s
    const uint64_t first = cw_tx_echo_due(&echo, true, true, 0.0).at(0).line;
    cw_tx_echo_sent(&echo, "PARIS", 20.0, 0.1);  // queued behind it: 2.76 .. 5.52 s
    const uint64_t second = cw_tx_echo_due(&echo, true, false, 0.1).at(0).line;
    cw_tx_echo_sent(&echo, "PARIS", 20.0, 0.2);
    EXPECT_EQ(cw_tx_echo_stop(&echo, 1.0), (std::vector<uint64_t>{second, first}));
    EXPECT_EQ(joined(cw_tx_echo_due(&echo, true, true, 1.0)), "[TX: PARIS (stopped)\n]");

    cw_tx_echo_sent(&echo, "PARIS", 20.0, 10.0);
    cw_tx_echo_due(&echo, true, true, 10.0);
    EXPECT_TRUE(cw_tx_echo_stop(&echo, 13.0).empty());  // keyed to the end by 12.76 s
    cw_tx_echo_sent(&echo, "PARIS", 20.0, 20.0);
    cw_tx_echo_due(&echo, true, true, 20.0);
    cw_tx_echo_pane_cleared(&echo);
    EXPECT_TRUE(cw_tx_echo_stop(&echo, 20.5).empty());  // cleared away: nothing to mark
}
