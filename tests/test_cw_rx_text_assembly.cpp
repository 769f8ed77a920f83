// The fallback decoder's text assembly: overlap measure and emission of
// only what is new.
#include "CWRx.h"
#include "cw_rx_state.h"
#include "cw_rx_text_assembly.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct RxDeleter {
    void operator()(CW_RX* rx) const { cw_rx_destroy(rx); }
};

class Emission : public testing::Test {
protected:
    void SetUp() override { rx_.reset(cw_rx_create_fallback(nullptr)); }

    std::string emit(const char* last, const char* rebuild, bool strong, size_t capacity = 100)
    {
        if (last != nullptr)
            std::strcpy(rx_->lastText, last);
        std::string out(capacity, 'x');
        const size_t n = cw_rx_emit_rebuild(rx_.get(), rebuild, strong, out.data(), capacity);
        EXPECT_EQ(std::strlen(out.c_str()), n);
        return out.substr(0, n);
    }

    std::unique_ptr<CW_RX, RxDeleter> rx_;
};

}  // namespace

TEST(CwRxOverlap, SuffixOfTheFirstAgainstPrefixOfTheSecond)
{
    EXPECT_EQ(cw_rx_overlap_suffix_prefix("CQ DE", "DEF"), 2u);
    EXPECT_EQ(cw_rx_overlap_suffix_prefix("ABC", "XYZ"), 0u);
    EXPECT_EQ(cw_rx_overlap_suffix_prefix("", "ABC"), 0u);
    EXPECT_EQ(cw_rx_overlap_suffix_prefix("ABC", ""), 0u);
    EXPECT_EQ(cw_rx_overlap_suffix_prefix(nullptr, "ABC"), 0u);
    EXPECT_EQ(cw_rx_overlap_suffix_prefix("AAAA", "AAB"), 2u);
    EXPECT_EQ(cw_rx_overlap_suffix_prefix("ABAB", "ABABAB"), 4u);  // never longer than either
}

TEST(CwRxOverlap, LongMatchesAreFoundWhole)
{
    // The history holds far more than 64 characters of text.
    std::string tail;
    for (int i = 0; i < 20; ++i)
        tail += "CQ DE ";
    const std::string a = "ZR1ABC " + tail;
    const std::string b = tail + "K";
    EXPECT_EQ(cw_rx_overlap_suffix_prefix(a.c_str(), b.c_str()), tail.size());
}

TEST_F(Emission, FirstRebuildIsEmittedWhole)
{
    EXPECT_EQ(emit("", "CQ DE", false), "CQ DE");
    EXPECT_STREQ(rx_->lastText, "CQ DE");
}

TEST_F(Emission, ExtensionEmitsOnlyTheAddition)
{
    EXPECT_EQ(emit("CQ DE", "CQ DE ZR1", false), " ZR1");
    EXPECT_EQ(emit(nullptr, "CQ DE ZR1", false), "");
}

TEST_F(Emission, OverlapEmitsWhatFollowsIt)
{
    EXPECT_EQ(emit("CQ CQ DE ZR1", "DE ZR1ABC", false), "ABC");
    EXPECT_STREQ(rx_->lastText, "DE ZR1ABC");
}

TEST_F(Emission, StrongRebuildWithoutOverlapGetsASpace)
{
    EXPECT_EQ(emit("CQ", "TEST", true), " TEST");
    rx_->candidateRepeats = 1;
    EXPECT_EQ(emit("CQ", "TEST", false), "");
    EXPECT_STREQ(rx_->lastText, "TEST");
    rx_->candidateRepeats = 3;
    EXPECT_EQ(emit("CQ", "TEST", false), " TEST");
}

TEST_F(Emission, CutAtTheCapacityTheRestComesNext)
{
    EXPECT_EQ(emit("CQ", "CQ DE ZR1ABC", false, 5), " DE ");
    EXPECT_EQ(emit(nullptr, "CQ DE ZR1ABC", false, 5), "ZR1A");
    EXPECT_EQ(emit(nullptr, "CQ DE ZR1ABC", false, 100), "BC");
    EXPECT_EQ(emit("CQ", "TEST", true, 2), " ");
    EXPECT_EQ(emit(nullptr, "TEST", true, 100), "TEST");
}

TEST_F(Emission, ACutFirstCharacterDoesNotRepeatTheText)
{
    // A slid history cuts into its oldest character, which then reads
    // differently: C became F.
    EXPECT_EQ(emit("CQ CQ DE ZR1ABC ZR", "FQ CQ DE ZR1ABC ZR1", false), "1");
    EXPECT_EQ(emit(nullptr, "Q CQ DE ZR1ABC ZR1A", false), "A");
}
