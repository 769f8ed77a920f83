#include "cw_text_panes.h"

#include <gtest/gtest.h>

TEST(CWTextPanes, DecodedTextFoldsBlanksAndTransmittedTextSitsOnItsOwnLine)
{
    EXPECT_EQ(cw_fold_decoded_text("  A\nB", false), " A B");
    EXPECT_EQ(cw_fold_decoded_text("  A\nB", true), "A B");  // at the start of the pane
    EXPECT_EQ(cw_fold_decoded_text(" \n\t ", true), "");
    EXPECT_EQ(cw_fold_decoded_text("CQ  DE\n\nZR1ABC ", false), "CQ DE ZR1ABC ");
    EXPECT_EQ(cw_transmitted_line("   \n", false), "");
    EXPECT_EQ(cw_transmitted_line(" CQ TEST \n", false), "\nTX: CQ TEST\n");
    EXPECT_EQ(cw_transmitted_line("CQ", true), "TX: CQ\n");
}

TEST(CWTextPanes, LogFileNamesCarryTheStartTimeAndNeverRepeat)
{
    std::tm t{};
    t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 7, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 3;
    EXPECT_EQ(cw_rx_text_log_file_name(t, 1), "Zarvo-rx-20261207-090503.txt");
    EXPECT_EQ(cw_rx_text_log_file_name(t, 2), "Zarvo-rx-20261207-090503-2.txt");
}
