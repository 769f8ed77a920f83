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
