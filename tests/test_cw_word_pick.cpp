#include "cw_word_pick.h"

#include <gtest/gtest.h>

namespace {

const std::u16string kDecoded = u"CQ CQ DE QQ2ABC/P K <BT> UR 599, NAME (HANS) = AR +  qq1cd, qq-1ab";

size_t indexOf(const std::u16string& needle, size_t offset = 0)
{
    return kDecoded.find(needle) + offset;
}

std::u16string wordAt(size_t index)
{
    return cw_word_at_index(kDecoded, index);
}

TEST(CWWordAtIndex, WordStopsAtDelimitersOnly)
{
    EXPECT_EQ(wordAt(indexOf(u"QQ2", 4)), u"QQ2ABC/P");
    EXPECT_EQ(wordAt(indexOf(u"BT", 1)), u"BT");
    EXPECT_EQ(wordAt(indexOf(u"599", 2)), u"599");
    EXPECT_EQ(wordAt(indexOf(u"HANS")), u"HANS");
    EXPECT_EQ(wordAt(indexOf(u"=")), u"=");
    EXPECT_EQ(wordAt(indexOf(u"+")), u"+");
    EXPECT_EQ(wordAt(indexOf(u"qq-1ab", 3)), u"qq-1ab");
}

TEST(CWWordAtIndex, DelimiterBehindAWordPicksThatWord)
{
    EXPECT_EQ(wordAt(indexOf(u"QQ2ABC/P ", 8)), u"QQ2ABC/P");
    EXPECT_EQ(wordAt(indexOf(u"qq1cd,", 5)), u"qq1cd");
    EXPECT_EQ(wordAt(indexOf(u"BT>", 2)), u"BT");
}

TEST(CWWordAtIndex, DelimiterWithoutWordBeforeItPicksNothing)
{
    EXPECT_EQ(wordAt(indexOf(u"+  ", 2)), u"");
    EXPECT_EQ(wordAt(indexOf(u"<BT")), u"");
    EXPECT_EQ(wordAt(indexOf(u"(HANS")), u"");
    EXPECT_EQ(cw_word_at_index(u"   ", 1), u"");
    EXPECT_EQ(cw_word_at_index(u"", 0), u"");
}

TEST(CWWordAtIndex, IndexAtTheEndsOfTheText)
{
    EXPECT_EQ(wordAt(0), u"CQ");
    EXPECT_EQ(wordAt(kDecoded.size()), u"qq-1ab");
    EXPECT_EQ(wordAt(kDecoded.size() + 100), u"qq-1ab");
    EXPECT_EQ(cw_word_at_index(u"DL1AB ", 6), u"DL1AB");
    EXPECT_EQ(cw_word_at_index(u" DL1AB", 0), u"");
}

TEST(CWCleanedPickString, KeepsOnlyCallsignCharacters)
{
    struct Case {
        std::u16string word;
        const char* cleaned;
    };
    for (const Case& c : {Case{u"qq1cd", "QQ1CD"}, Case{u"qq-1ab", "QQ1AB"}, Case{u"QQ2ABC/P", "QQ2ABC/P"},
                          Case{u"\u00C4\u00D6", ""}, Case{u"j\u00F6rg", "JRG"}, Case{u"stra\u00DFe", "STRASSE"},
                          Case{u" hans\n", "HANS"}, Case{u"=", ""}, Case{u"dl\U0001F600x", "DLX"},
                          Case{std::u16string(1, char16_t(0xD800)) + u"ab", "AB"}})
        EXPECT_EQ(cw_cleaned_pick_string(c.word), c.cleaned);
}

TEST(CWDecodePick, TargetAlternatesBetweenCallAndName)
{
    const CW_DECODE_PICK call = cw_decode_pick({kCWPickTargetCall, 0.0, 10.0, u"dl1abc"});
    EXPECT_EQ(call.fillField, kCWPickTargetCall);
    EXPECT_EQ(call.text, "DL1ABC");
    EXPECT_EQ(call.target, kCWPickTargetName);
    EXPECT_EQ(call.focusField, kCWPickTargetName);
    EXPECT_EQ(call.lastTimestamp, 10.0);

    const CW_DECODE_PICK name = cw_decode_pick({call.target, call.lastTimestamp, 11.0, u"hans"});
    EXPECT_EQ(name.fillField, kCWPickTargetName);
    EXPECT_EQ(name.text, "HANS");
    EXPECT_EQ(name.target, kCWPickTargetCall);
    EXPECT_EQ(name.focusField, kCWPickTargetCall);
}

TEST(CWDecodePick, UnknownTargetActsAsCall)
{
    for (const int64_t target : {int64_t(0), int64_t(3), int64_t(-1)}) {
        const CW_DECODE_PICK pick = cw_decode_pick({target, 0.0, 5.0, u"QQ1CD"});
        EXPECT_EQ(pick.fillField, kCWPickTargetCall) << target;
        EXPECT_EQ(pick.target, kCWPickTargetName) << target;
    }
}

TEST(CWDecodePick, RepeatWithinFiftyMillisecondsIsIgnored)
{
    for (const double t : {10.0, 10.049, 9.96}) {
        const CW_DECODE_PICK pick = cw_decode_pick({kCWPickTargetName, 10.0, t, u"HANS"});
        EXPECT_EQ(pick.fillField, kCWPickTargetNone) << t;
        EXPECT_EQ(pick.target, kCWPickTargetName) << t;
        EXPECT_EQ(pick.focusField, kCWPickTargetNone) << t;
        EXPECT_EQ(pick.lastTimestamp, 10.0) << t;
    }
    EXPECT_EQ(cw_decode_pick({kCWPickTargetName, 10.0, 10.06, u"HANS"}).fillField, kCWPickTargetName);
    // Events without a time are never taken for repeats.
    EXPECT_EQ(cw_decode_pick({kCWPickTargetCall, 0.0, 0.0, u"HANS"}).fillField, kCWPickTargetCall);
}

TEST(CWDecodePick, WordWithoutCallsignCharactersOnlyRecordsTheTime)
{
    const CW_DECODE_PICK pick = cw_decode_pick({7, 1.0, 2.0, u"\u00C4\u00D6"});
    EXPECT_EQ(pick.fillField, kCWPickTargetNone);
    EXPECT_EQ(pick.target, 7);
    EXPECT_EQ(pick.focusField, kCWPickTargetNone);
    EXPECT_EQ(pick.lastTimestamp, 2.0);
}

}  // namespace
