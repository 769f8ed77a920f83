#include "cw_text_panes.h"

#include <gtest/gtest.h>

TEST(CWTextPanes, DecodedTextFoldsBlanksAndTransmittedTextSitsOnItsOwnLine)
{
    EXPECT_EQ(cw_fold_decoded_text("  A\nB", false), " A B");
    EXPECT_EQ(cw_fold_decoded_text("  A\nB", true), "A B");  // at the start of the pane
    EXPECT_EQ(cw_fold_decoded_text("CQ  DE\n\nZR1ABC ", false), "CQ DE ZR1ABC ");
    EXPECT_EQ(cw_transmitted_line("   \n", false), "");
    EXPECT_EQ(cw_transmitted_line(" CQ TEST \n", false), "\nTX: CQ TEST\n");
    EXPECT_EQ(cw_transmitted_line("CQ", true), "TX: CQ\n");
}

// A giant line keeps only its start, whole characters of it, and says how
// long it was; lines that fit are left alone.
TEST(CWTextPanes, ALongLogLineShowsItsStartAndItsLength)
{
    const std::string fits(kCWLogLineMaxBytes, 'x');
    EXPECT_EQ(cw_log_pane_line(fits), fits);
    EXPECT_EQ(cw_log_pane_line("Received: " + std::string(262144, 'x')),
              "Received: " + std::string(kCWLogLineMaxBytes - 10, 'x') + " ... (262154 bytes)");
    const std::string umlauts = std::string(kCWLogLineMaxBytes - 1, 'a') + "\xC3\xA4\xC3\xA4";
    EXPECT_EQ(cw_log_pane_line(umlauts),
              std::string(kCWLogLineMaxBytes - 1, 'a') + " ... (" + std::to_string(umlauts.size()) + " bytes)");
}
