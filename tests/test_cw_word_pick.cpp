// Picking a call or a name out of the decoded text with a double-click.
#include "cw_word_pick.h"

#include <gtest/gtest.h>

namespace {

const std::u16string kDecoded = u"CQ CQ DE QQ2ABC/P K <BT> UR 599, NAME (HANS) = AR +  qq1cd, qq-1ab";

}  // namespace

// A word stops at delimiters only; a click on the delimiter just behind a
// word picks it, any other delimiter picks nothing.
TEST(CWWordPick, TheWordUnderTheClick)
{
    const auto at = [](const std::u16string& needle, size_t offset) { return kDecoded.find(needle) + offset; };
    const std::pair<size_t, std::u16string> cases[] = {
        {at(u"QQ2", 4), u"QQ2ABC/P"},  {at(u"BT", 1), u"BT"},
        {at(u"599", 2), u"599"},       {at(u"HANS", 0), u"HANS"},
        {at(u"=", 0), u"="},           {at(u"+", 0), u"+"},
        {at(u"qq-1ab", 3), u"qq-1ab"}, {at(u"QQ2ABC/P ", 8), u"QQ2ABC/P"},
        {at(u"qq1cd,", 5), u"qq1cd"},  {at(u"BT>", 2), u"BT"},
        {at(u"+  ", 2), u""},          {at(u"<BT", 0), u""},
        {at(u"(HANS", 0), u""},        {0, u"CQ"},
        {kDecoded.size(), u"qq-1ab"},  {kDecoded.size() + 100, u"qq-1ab"},
    };
    for (const auto& [index, word] : cases)
        EXPECT_TRUE(cw_word_at_index(kDecoded, index) == word) << index;
    EXPECT_TRUE(cw_word_at_index(u"", 0).empty() && cw_word_at_index(u" DL1AB", 0).empty());
}

TEST(CWWordPick, CleaningKeepsOnlyCallsignCharacters)
{
    const std::pair<std::u16string, const char*> cases[] = {
        {u"qq-1ab", "QQ1AB"},        {u"QQ2ABC/P", "QQ2ABC/P"},
        {u"\u00C4\u00D6", ""},       {u"j\u00F6rg", "JRG"},
        {u"stra\u00DFe", "STRASSE"}, {u" hans\n", "HANS"},
        {u"dl\U0001F600x", "DLX"},   {std::u16string(1, char16_t(0xD800)) + u"ab", "AB"}};
    for (const auto& [word, cleaned] : cases)
        EXPECT_EQ(cw_cleaned_pick_string(word), cleaned);
}

// Picks fill the call, then the name, then the call again; anything but
// the name target acts as the call.
TEST(CWWordPick, TargetAlternatesBetweenCallAndName)
{
    const CW_DECODE_PICK call = cw_decode_pick({kCWPickTargetCall, 0.0, 10.0, u"dl1abc"});
    EXPECT_TRUE(call.fillField == kCWPickTargetCall && call.text == "DL1ABC" && call.lastTimestamp == 10.0);
    EXPECT_TRUE(call.target == kCWPickTargetName && call.focusField == kCWPickTargetName);
    const CW_DECODE_PICK name = cw_decode_pick({call.target, call.lastTimestamp, 11.0, u"hans"});
    EXPECT_TRUE(name.fillField == kCWPickTargetName && name.text == "HANS" && name.target == kCWPickTargetCall);
    for (const int64_t target : {int64_t(0), int64_t(3), int64_t(-1)})
        EXPECT_EQ(cw_decode_pick({target, 0.0, 5.0, u"QQ1CD"}).fillField, kCWPickTargetCall) << target;
}

// A double-click delivered twice within 50 ms changes nothing; a word
// without callsign characters only records the time.
TEST(CWWordPick, RepeatsAndEmptyWordsFillNothing)
{
    for (const double t : {10.0, 10.049, 9.96}) {
        const CW_DECODE_PICK pick = cw_decode_pick({kCWPickTargetName, 10.0, t, u"HANS"});
        EXPECT_TRUE(pick.fillField == kCWPickTargetNone && pick.focusField == kCWPickTargetNone &&
                    pick.target == kCWPickTargetName && pick.lastTimestamp == 10.0)
            << t;
    }
    EXPECT_EQ(cw_decode_pick({kCWPickTargetName, 10.0, 10.06, u"HANS"}).fillField, kCWPickTargetName);
    // An event without a time is never taken for a repeat.
    EXPECT_EQ(cw_decode_pick({kCWPickTargetCall, 0.0, 0.0, u"HANS"}).fillField, kCWPickTargetCall);
    const CW_DECODE_PICK none = cw_decode_pick({7, 1.0, 2.0, u"\u00C4\u00D6"});
    EXPECT_TRUE(none.fillField == kCWPickTargetNone && none.target == 7 && none.lastTimestamp == 2.0);
}
