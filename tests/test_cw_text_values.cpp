// Numbers and flags read from the text of fields and stored settings.
#include "cw_text_values.h"

#include <gtest/gtest.h>

// The leading number counts; what is not a finite number is zero.
TEST(CWTextValues, NumbersFlagsClampingAndFormatting)
{
    for (auto [text, value] : {std::pair{"600", 600.0},
                               {"  12.5 Hz", 12.5},
                               {"-5", -5.0},
                               {".5", 0.5},
                               {"1e3", 1000.0},
                               {"2e", 2.0},
                               {"abc", 0.0},
                               {"", 0.0},
                               {"nan", 0.0},
                               {"inf", 0.0},
                               {"-infinity", 0.0},
                               {"1e999", 0.0},
                               {"+", 0.0}})
        EXPECT_EQ(cw_text_double_value(text), value) << text;
    for (auto [text, value] : {std::pair{"-5.7", -5LL}, {"50001", 50001LL}, {"1e30", 9200000000000000000LL}})
        EXPECT_EQ(cw_text_integer_value(text), value) << text;
    for (const char* yes : {"YES", "true", "1", " 007", "t"})
        EXPECT_TRUE(cw_text_bool_value(yes)) << yes;
    for (const char* no : {"NO", "false", "0", "", "000", "x"})
        EXPECT_FALSE(cw_text_bool_value(no)) << no;
    EXPECT_TRUE(cw_clamp_value(2000, 300, 1200) == 1200 && cw_clamp_value(0.0 / 0.0, 300, 1200) == 300);
    EXPECT_EQ(cw_format_value(27.5, 0) + " " + cw_format_value(1.75, 1) + " " + cw_format_value(0.5, 2), "28 1.8 0.50");
}
