#include "cw_text_values.h"

#include <gtest/gtest.h>

namespace {

TEST(CWTextValues, TakeTheLeadingNumberAndTreatTheRestAsZero)
{
    struct Case {
        const char* text;
        double value;
    };
    for (const Case c : {Case{"600", 600}, Case{"  12.5 Hz", 12.5}, Case{"-5", -5}, Case{".5", 0.5},
                         Case{"1e3", 1000}, Case{"2e", 2}, Case{"abc", 0}, Case{"", 0}, Case{"nan", 0},
                         Case{"inf", 0}, Case{"-infinity", 0}, Case{"1e999", 0}, Case{"+", 0}})
        EXPECT_EQ(cw_text_double_value(c.text), c.value) << c.text;
    EXPECT_EQ(cw_text_integer_value("-5.7"), -5);
    EXPECT_EQ(cw_text_integer_value("50001"), 50001);
    EXPECT_EQ(cw_text_integer_value("1e30"), 9200000000000000000LL);
}

TEST(CWTextValues, FlagsFollowTheFirstMeaningfulCharacter)
{
    for (const char* yes : {"YES", "true", "1", " 007", "t"})
        EXPECT_TRUE(cw_text_bool_value(yes)) << yes;
    for (const char* no : {"NO", "false", "0", "", "000", "x"})
        EXPECT_FALSE(cw_text_bool_value(no)) << no;
}

TEST(CWTextValues, ClampingAndFormatting)
{
    EXPECT_EQ(cw_clamp_value(2000, 300, 1200), 1200);
    EXPECT_EQ(cw_clamp_value(-1, 300, 1200), 300);
    EXPECT_EQ(cw_clamp_value(0.0 / 0.0, 300, 1200), 300);
    EXPECT_EQ(cw_format_value(27.5, 0), "28");  // printf rounds half to even: 27.5 -> 28
    EXPECT_EQ(cw_format_value(1.75, 1), "1.8");
    EXPECT_EQ(cw_format_value(0.5, 2), "0.50");
}

}  // namespace
