// The calls one channel's decoded text reports, as a skimmer receives them:
// overs of CQ, QSOs and contests, in chunks, with unreadable characters.
#include "cw_call_extractor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Heard {
    std::string call;
    bool cq;
    bool strong;
    bool repeated = false;
    bool operator==(const Heard&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Heard& h)
{
    return out << h.call << (h.cq ? " cq" : "") << (h.strong ? " strong" : " weak") << (h.repeated ? " twice" : "");
}

void collect(const CW_CALL_HEARD* heard, size_t n, std::vector<Heard>* out)
{
    for (size_t i = 0; i < n; ++i)
        out->push_back(Heard{heard[i].call, heard[i].cq != 0, heard[i].strong != 0, heard[i].repeated != 0});
}

class CWCallExtractor : public ::testing::Test {
protected:
    void SetUp() override { x = cw_call_extractor_create(); }
    void TearDown() override { cw_call_extractor_destroy(x); }

    // Feeds text in one chunk and returns what it reported.
    std::vector<Heard> feed(const std::string& text)
    {
        CW_CALL_HEARD heard[8];
        std::vector<Heard> out;
        collect(heard, cw_call_extractor_feed(x, text.data(), text.size(), heard, std::size(heard)), &out);
        return out;
    }

    // Feeds text and ends the over, as when the signal goes quiet.
    std::vector<Heard> over(const std::string& text)
    {
        std::vector<Heard> out = feed(text);
        CW_CALL_HEARD heard[8];
        collect(heard, cw_call_extractor_flush(x, heard, std::size(heard)), &out);
        return out;
    }

    CW_CALL_EXTRACTOR* x = nullptr;
};

using Reports = std::vector<Heard>;

}  // namespace

// Once when it is fit to spot, once more when it was heard twice.
TEST_F(CWCallExtractor, ACqOverReportsTheCallOnceAndOnceMoreWhenRepeated)
{
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(feed("CQ CQ DE DL2QZA DL2QZA K "), (Reports{{"DL2QZA", true, true}, {"DL2QZA", true, true, true}}));
    EXPECT_EQ(over("CQ CQ CQ DE G4ABC G4ABC G4ABC PSE K"),
              (Reports{{"G4ABC", true, true}, {"G4ABC", true, true, true}}));
    EXPECT_EQ(over("cq de ve3/dl2qza/p k"), (Reports{{"VE3/DL2QZA/P", true, true}}));
}

TEST_F(CWCallExtractor, ContestCqs)
{
    EXPECT_EQ(over("CQ TEST DL2QZA"), (Reports{{"DL2QZA", true, true}}));
    cw_call_extractor_reset(x);
    EXPECT_EQ(over("TEST DL2QZA DL2QZA"), (Reports{{"DL2QZA", true, true}, {"DL2QZA", true, true, true}}));
    cw_call_extractor_reset(x);
    EXPECT_EQ(over("DL2QZA TEST"), (Reports{{"DL2QZA", true, true}}));
}

// A word between CQ and the call ("CQ DX", "CQ NA") still makes it a CQ,
// told when the over ends.
TEST_F(CWCallExtractor, ACqForSomeoneInParticular)
{
    EXPECT_EQ(over("CQ DX DL2QZA DL2QZA K"), (Reports{{"DL2QZA", true, true}, {"DL2QZA", true, true, true}}));
    cw_call_extractor_reset(x);
    EXPECT_EQ(over("CQ NA G4ABC K"), (Reports{{"G4ABC", true, true}}));
}

// A caller answering right after the CQ, with no pause between the two
// signals, is in the CQ's over but is not the station calling CQ.
TEST_F(CWCallExtractor, AStationAnsweringACqIsNoCqStation)
{
    EXPECT_EQ(feed("CQ DE G4ABC "), (Reports{{"G4ABC", true, true}}));
    EXPECT_EQ(over("DL2QZA DL2QZA"), (Reports{{"DL2QZA", false, false}, {"DL2QZA", false, true, true}}));
}

// Text arrives as the receiver decodes it: a call split over chunks, or a
// character at a time, reads the same as in one piece.
TEST_F(CWCallExtractor, ChunksSplittingWordsReadTheSame)
{
    EXPECT_TRUE(feed("CQ CQ DE DL").empty());
    EXPECT_TRUE(feed("2Q").empty());
    // A call after DE is the sender's: told as soon as the word is whole,
    // and again as soon as it was heard twice.
    EXPECT_EQ(feed("ZA DL2QZA"), (Reports{{"DL2QZA", true, true}}));
    EXPECT_EQ(feed(" K "), (Reports{{"DL2QZA", true, true, true}}));
    EXPECT_TRUE(feed("CQ ").empty());

    cw_call_extractor_reset(x);
    const std::string text = "DL2QZA DE G4ABC G4ABC KN ";
    Reports byCharacter;
    for (char c : text) {
        const Reports some = feed(std::string(1, c));
        byCharacter.insert(byCharacter.end(), some.begin(), some.end());
    }
    EXPECT_EQ(byCharacter, (Reports{{"G4ABC", false, true}, {"G4ABC", false, true, true}}));
}

// "DL2QZA DE G4ABC" is G4ABC on this frequency calling DL2QZA, who is on
// another: spotting DL2QZA here would be a false spot.
TEST_F(CWCallExtractor, AQsoSpotsTheStationSendingNotTheOneCalled)
{
    EXPECT_EQ(over("DL2QZA DE G4ABC G4ABC K"), (Reports{{"G4ABC", false, true}, {"G4ABC", false, true, true}}));
    // G4ABC's calls of the last over are still in the window: heard twice.
    EXPECT_EQ(over("DL2QZA DL2QZA DL2QZA DE G4ABC AR"), (Reports{{"G4ABC", false, true, true}}));
    const Reports qso = over("DL2QZA DE G4ABC GM OM TNX FER CALL UR RST 599 599 NAME JOHN QTH LONDON HW? "
                             "DL2QZA DE G4ABC KN");
    ASSERT_FALSE(qso.empty());
    for (const Heard& h : qso)
        EXPECT_EQ(h.call, "G4ABC");
}

// A station answering a CQ sends its call, then calls the CQ station: only
// the call right before DE is called, the answer before it is the sender's.
TEST_F(CWCallExtractor, AnAnswerBeforeTheCallOfTheOtherSideIsTheSenders)
{
    EXPECT_EQ(feed("JA8EYZ JA8EYZ PD3Y DE "), (Reports{{"JA8EYZ", false, false}, {"JA8EYZ", false, true, true}}));
    EXPECT_EQ(feed("JA8EYZ UR 599 BK "), (Reports{{"JA8EYZ", false, true, true}}));
    cw_call_extractor_reset(x);
    EXPECT_TRUE(over("PD3Y PD3Y DE").empty());
}

TEST_F(CWCallExtractor, CallsFollowedByAnExchangeAreCalled)
{
    EXPECT_TRUE(over("G4ABC 5NN 14").empty());
    EXPECT_TRUE(over("G4ABC G4ABC 599 001").empty());
    EXPECT_TRUE(over("G4ABC UR RST 579").empty());
    EXPECT_TRUE(over("DL2QZA DE").empty());
}

// A contest: the runner calls, a caller answers (both heard on this
// channel), the runner sends the caller's call with the exchange and signs.
// Only the runner is spotted.
TEST_F(CWCallExtractor, AContestQsoSpotsOnlyTheRunner)
{
    Reports all = over("TEST DL2QZA");
    for (const char* text : {"G4ABC", "G4ABC 5NN 14", "TU 5NN 27", "TU DL2QZA TEST"}) {
        const Reports some = feed(std::string(text) + " ");
        all.insert(all.end(), some.begin(), some.end());
    }
    EXPECT_EQ(all, (Reports{{"DL2QZA", true, true}, {"DL2QZA", true, true, true}}));
}

TEST_F(CWCallExtractor, ACallSentOnceWithoutContextIsWeak)
{
    EXPECT_EQ(over("NAME JOHN G4ABC HR"), (Reports{{"G4ABC", false, false}}));
    // Twice within the window it is strong: reported again as such.
    cw_call_extractor_reset(x);
    EXPECT_EQ(over("G4ABC ES G4ABC OK"), (Reports{{"G4ABC", false, false}, {"G4ABC", false, true, true}}));
}

TEST_F(CWCallExtractor, RepeatsFartherApartThanTheWindowStayWeak)
{
    std::string text = "G4ABC";
    for (size_t i = 0; i < kCWCallExtractorWindowWords; ++i)
        text += " ES";
    text += " G4ABC ES";
    EXPECT_EQ(over(text), (Reports{{"G4ABC", false, false}}));
}

// The receiver writes '*' or '_' for what it could not read: such a word is
// no call even when the rest of it would be.
TEST_F(CWCallExtractor, UnreadableWordsAreNoCalls)
{
    EXPECT_TRUE(over("CQ CQ DE DL2*ZA DL2Q_A K").empty());
    EXPECT_TRUE(over("CQ DE DL2QZA? K").empty());
    EXPECT_TRUE(over("DE XXXXXXXXXXXXDL2QZA K").empty());  // longer than any call
    const char withNul[] = "CQ DE DL2Q\0ZA K ";
    EXPECT_TRUE(feed(std::string(withNul, sizeof withNul - 1)).empty());
    // A garbled DE gives the call no context.
    EXPECT_EQ(over("DL2QZA D* G4ABC"), (Reports{{"DL2QZA", false, false}, {"G4ABC", false, false}}));
}

// A lost word space glues DE or CQ to the call after it, often with the
// garbage read before it; the call is read as if the space were there.
TEST_F(CWCallExtractor, ACallGluedToDeOrCqIsReadInItsContext)
{
    EXPECT_EQ(over("EW1DGQ DE4X6PPB 4X6PPB K"), (Reports{{"4X6PPB", false, true}, {"4X6PPB", false, true, true}}));
    EXPECT_EQ(over("TTTTTMDGQDE4X6PPB K"), (Reports{{"4X6PPB", false, true, true}}));
    cw_call_extractor_reset(x);
    EXPECT_EQ(over("CQZ39ZE TEST"), (Reports{{"Z39ZE", true, true}}));
    // A call of its own is left whole, and so is a word with no call after DE or CQ.
    cw_call_extractor_reset(x);
    EXPECT_EQ(over("CQ DE DL2QZA K"), (Reports{{"DL2QZA", true, true}}));
    EXPECT_TRUE(over("CQDEX TEST1 ODEFQ").empty());
}

TEST_F(CWCallExtractor, ProsignsEndAnOver)
{
    EXPECT_EQ(over("G4ABC +"), (Reports{{"G4ABC", false, true}}));
    EXPECT_EQ(over("DL2QZA <KN>"), (Reports{{"DL2QZA", false, true}}));
    EXPECT_EQ(over("W1AW BK"), (Reports{{"W1AW", false, true}}));
}

// Each later over reports the call again, so the spot stays fresh; cq
// belongs to the over in which CQ was sent.
TEST_F(CWCallExtractor, LaterOversReportAgain)
{
    EXPECT_EQ(feed("CQ DE DL2QZA K CQ DE DL2QZA DL2QZA K "),
              (Reports{{"DL2QZA", true, true}, {"DL2QZA", true, true, true}}));
    EXPECT_EQ(feed("G4ABC DE DL2QZA K "), (Reports{{"DL2QZA", false, true, true}}));
}

// Calls waiting for their next word are decided before the window lets go
// of them: a station sending only its call is still heard.
TEST_F(CWCallExtractor, AWindowFullOfUndecidedCallsIsDecided)
{
    std::string text;
    for (size_t i = 0; i <= kCWCallExtractorWindowWords; ++i)
        text += "DL2QZA ";
    EXPECT_EQ(feed(text), (Reports{{"DL2QZA", false, false}, {"DL2QZA", false, true, true}}));
}

TEST_F(CWCallExtractor, FlushDecidesTheLastWord)
{
    EXPECT_TRUE(feed("CQ DE DL2QZA").empty());
    CW_CALL_HEARD heard[4];
    ASSERT_EQ(cw_call_extractor_flush(x, heard, std::size(heard)), 1u);
    EXPECT_STREQ(heard[0].call, "DL2QZA");
    EXPECT_EQ(heard[0].strong, 1);
    EXPECT_EQ(cw_call_extractor_flush(x, heard, std::size(heard)), 0u);
}

TEST_F(CWCallExtractor, ResetForgetsTheWordInProgressAndTheOvers)
{
    EXPECT_TRUE(feed("CQ DE DL2Q").empty());
    cw_call_extractor_reset(x);
    EXPECT_TRUE(over("ZA K").empty());
    EXPECT_EQ(over("CQ DE DL2QZA K"), (Reports{{"DL2QZA", true, true}}));
}

TEST_F(CWCallExtractor, ReportsThatDoNotFitWaitForTheNextCall)
{
    const std::string text = "CQ DE DL2QZA K CQ DE G4ABC K CQ DE W1AW K ";
    CW_CALL_HEARD heard[1];
    ASSERT_EQ(cw_call_extractor_feed(x, text.data(), text.size(), heard, 1), 1u);
    EXPECT_STREQ(heard[0].call, "DL2QZA");
    ASSERT_EQ(cw_call_extractor_feed(x, nullptr, 0, heard, 1), 1u);
    EXPECT_STREQ(heard[0].call, "G4ABC");
    ASSERT_EQ(cw_call_extractor_feed(x, nullptr, 0, heard, 1), 1u);
    EXPECT_STREQ(heard[0].call, "W1AW");
    EXPECT_EQ(cw_call_extractor_feed(x, nullptr, 0, heard, 1), 0u);
}

TEST(CWCallExtractorHandles, NullIsSafe)
{
    CW_CALL_HEARD heard[2];
    EXPECT_EQ(cw_call_extractor_feed(nullptr, "CQ DE DL2QZA K ", 15, heard, 2), 0u);
    EXPECT_EQ(cw_call_extractor_flush(nullptr, heard, 2), 0u);
    cw_call_extractor_reset(nullptr);
    cw_call_extractor_destroy(nullptr);
    CW_CALL_EXTRACTOR* x = cw_call_extractor_create();
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(cw_call_extractor_feed(x, "CQ DE DL2QZA K ", 15, nullptr, 2), 0u);
    EXPECT_EQ(cw_call_extractor_feed(x, nullptr, 0, heard, 2), 1u);  // kept for a caller with a buffer
    cw_call_extractor_destroy(x);
}
