#include "cw_field_strings.h"

#include <gtest/gtest.h>

TEST(FieldStrings, NormalizedFieldIsTrimmedAndUpperCased)
{
    EXPECT_EQ(cw_normalized_upper_field_string("  qq1ab/p \n"), "QQ1AB/P");
    EXPECT_EQ(cw_normalized_upper_field_string("\t\r\n ") + cw_normalized_upper_field_string(""), "");
    // No-break space and the line separator count as blanks; inner blanks stay.
    EXPECT_EQ(cw_normalized_upper_field_string("\xC2\xA0"
                                               "de bob\xE2\x80\xA8"),
              "DE BOB");
}

TEST(FieldStrings, UpperCasingCoversAccentedGreekAndCyrillicLetters)
{
    EXPECT_EQ(cw_upper_string("j\xC3\xB6rg"), "J\xC3\x96RG");  // jörg
    EXPECT_EQ(cw_upper_string("stra\xC3\x9F"
                              "e"),
              "STRASSE");  // straße grows
    EXPECT_EQ(cw_upper_string("\xC5\x82\xC3\xB3"
                              "d\xC5\xBA"),
              "\xC5\x81\xC3\x93"
              "D\xC5\xB9");                                                                              // łódź
    EXPECT_EQ(cw_upper_string("\xCE\xB1\xCF\x82"), "\xCE\x91\xCE\xA3");                                  // ας
    EXPECT_EQ(cw_upper_string("\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD"), "\xD0\x98\xD0\x92\xD0\x90\xD0\x9D");  // иван
    EXPECT_EQ(cw_upper_string("\xC3\xB7 \xC3\xBF"), "\xC3\xB7 \xC5\xB8");  // ÷ stays, ÿ becomes Ÿ
}

TEST(FieldStrings, InvalidBytesPassThroughUnchanged)
{
    const std::string broken = std::string("a\xC3") + "b\xFF";
    EXPECT_EQ(cw_upper_string(broken), std::string("A\xC3") + "B\xFF");
    EXPECT_EQ(cw_trimmed_string(std::string(" \xE2\x80 ")), std::string("\xE2\x80"));
}
