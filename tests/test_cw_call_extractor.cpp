// The calls one channel's decoded text reports, as a skimmer receives them:
// overs of CQ, QSOs and contests, in chunks, with unreadable characters.
#include "cw_call_extractor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Reports as "CALL [cq] strong|weak [twice]", joined by ", ".
std::string describe(const CW_CALL_HEARD* heard, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += std::string(i ? ", " : "") + heard[i].call + (heard[i].cq ? " cq" : "") +
               (heard[i].strong ? " strong" : " weak") + (heard[i].repeated ? " twice" : "");
    return out;
}

std::string many(const std::string& word, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += word;
    return text;
}

class CWCallExtractor : public ::testing::Test {
protected:
    void SetUp() override { x = cw_call_extractor_create(); }
    void TearDown() override { cw_call_extractor_destroy(x); }

    // Feeds text in one chunk and returns what it reported.
    std::string feed(const std::string& text)
    {
        CW_CALL_HEARD heard[8];
        return describe(heard, cw_call_extractor_feed(x, text.data(), text.size(), heard, std::size(heard)));
    }

    // Feeds text and ends the over, as when the signal goes quiet.
    std::string over(const std::string& text)
    {
        const std::string fed = feed(text);
        CW_CALL_HEARD heard[8];
        const std::string flushed = describe(heard, cw_call_extractor_flush(x, heard, std::size(heard)));
        return fed + (fed.empty() || flushed.empty() ? "" : ", ") + flushed;
    }

    CW_CALL_EXTRACTOR* x = nullptr;
};

// A chunk of a channel's text: fed, fed and the over ended, or the over of a new extractor (reset first).
enum STEP_KIND { FEED, OVER, FRESH_OVER };
struct Step {
    STEP_KIND kind;
    std::string text, reports;
};

}  // namespace

// Each script starts on a new extractor; every step's reports are checked in order.
TEST_F(CWCallExtractor, ReportsTheSendersCallOfEachKindOfOver)
{
    const struct {
        const char* what;
        std::vector<Step> steps;
    } scripts[] = {
        // Once when it is fit to spot, once more when it was heard twice.
        {"cq",
         {{FEED, "CQ CQ DE DL2QZA DL2QZA K ", "DL2QZA cq strong, DL2QZA cq strong twice"},
          {OVER, "CQ CQ CQ DE G4ABC G4ABC G4ABC PSE K", "G4ABC cq strong, G4ABC cq strong twice"},
          {OVER, "cq de ve3/dl2qza/p k", "VE3/DL2QZA/P cq strong"}}},
        {"contest cq",
         {{OVER, "CQ TEST DL2QZA", "DL2QZA cq strong"},
          {FRESH_OVER, "TEST DL2QZA DL2QZA", "DL2QZA cq strong, DL2QZA cq strong twice"},
          {FRESH_OVER, "DL2QZA TEST", "DL2QZA cq strong"}}},
        // A word between CQ and the call ("CQ DX", "CQ NA") still makes it a CQ, told when the over ends.
        {"cq for someone",
         {{OVER, "CQ DX DL2QZA DL2QZA K", "DL2QZA cq strong, DL2QZA cq strong twice"},
          {FRESH_OVER, "CQ NA G4ABC K", "G4ABC cq strong"}}},
        // A caller right after the CQ, with no pause, is in the CQ's over but is not the station calling CQ.
        {"answer to a cq",
         {{FEED, "CQ DE G4ABC ", "G4ABC cq strong"}, {OVER, "DL2QZA DL2QZA", "DL2QZA weak, DL2QZA strong twice"}}},
        // A call after DE is the sender's: told as soon as the word is whole, and again once heard twice.
        {"call split over chunks",
         {{FEED, "CQ CQ DE DL", ""},
          {FEED, "2Q", ""},
          {FEED, "ZA DL2QZA", "DL2QZA cq strong"},
          {FEED, " K ", "DL2QZA cq strong twice"},
          {FEED, "CQ ", ""}}},
        // G4ABC on this frequency calls DL2QZA, who is on another: spotting DL2QZA here would be a false spot.
        {"qso",
         {{OVER, "DL2QZA DE G4ABC G4ABC K", "G4ABC strong, G4ABC strong twice"},
          {OVER, "DL2QZA DL2QZA DL2QZA DE G4ABC AR", "G4ABC strong twice"},  // the last over's calls count
          {OVER, "DL2QZA DE G4ABC GM OM TNX FER CALL UR RST 599 599 NAME JOHN QTH LONDON HW? DL2QZA DE G4ABC KN",
           "G4ABC strong twice, G4ABC strong"}}},  // the first call of this over has left the window
        // Only the call right before DE is called; the answer before it is the sender's.
        {"answer before the call of the other side",
         {{FEED, "JA8EYZ JA8EYZ PD3Y DE ", "JA8EYZ weak, JA8EYZ strong twice"},
          {FEED, "JA8EYZ UR 599 BK ", "JA8EYZ strong twice"},
          {FRESH_OVER, "PD3Y PD3Y DE", ""}}},
        {"calls followed by an exchange are called",
         {{OVER, "G4ABC 5NN 14", ""},
          {OVER, "G4ABC G4ABC 599 001", ""},
          {OVER, "G4ABC UR RST 579", ""},
          {OVER, "DL2QZA DE", ""}}},
        // The runner calls, a caller answers (both heard here), the runner sends the exchange and signs.
        {"contest qso spots only the runner",
         {{OVER, "TEST DL2QZA", "DL2QZA cq strong"},
          {FEED, "G4ABC ", ""},
          {FEED, "G4ABC 5NN 14 ", ""},
          {FEED, "TU 5NN 27 ", ""},
          {FEED, "TU DL2QZA TEST ", "DL2QZA cq strong twice"}}},
        // Sent once without context a call is weak; twice within the window strong, reported again as such.
        {"weak and strong",
         {{OVER, "NAME JOHN G4ABC HR", "G4ABC weak"},
          {FRESH_OVER, "G4ABC ES G4ABC OK", "G4ABC weak, G4ABC strong twice"},
          {FRESH_OVER, "G4ABC" + many(" ES", kCWCallExtractorWindowWords) + " G4ABC ES", "G4ABC weak"}}},
        // The receiver writes '*' or '_' for what it could not read: such a word is no call.
        {"unreadable words",
         {{OVER, "CQ CQ DE DL2*ZA DL2Q_A K", ""},
          {OVER, "CQ DE DL2QZA? K", ""},
          {OVER, "DE XXXXXXXXXXXXDL2QZA K", ""},  // longer than any call
          {FEED, std::string("CQ DE DL2Q\0ZA K ", 16), ""},
          {OVER, "DL2QZA D* G4ABC", "DL2QZA weak, G4ABC weak"}}},  // a garbled DE gives no context
        // A lost word space glues DE or CQ (often with the garbage before it) to the call: read as if spaced.
        {"call glued to DE or CQ",
         {{OVER, "EW1DGQ DE4X6PPB 4X6PPB K", "4X6PPB strong, 4X6PPB strong twice"},
          {OVER, "TTTTTMDGQDE4X6PPB K", "4X6PPB strong twice"},
          {FRESH_OVER, "CQZ39ZE TEST", "Z39ZE cq strong"},
          {FRESH_OVER, "CQ DE DL2QZA K", "DL2QZA cq strong"},  // a call of its own is left whole
          {OVER, "CQDEX TEST1 ODEFQ", ""}}},                   // and so is a word with no call after DE or CQ
        {"prosigns end an over",
         {{OVER, "G4ABC +", "G4ABC strong"}, {OVER, "DL2QZA <KN>", "DL2QZA strong"}, {OVER, "W1AW BK", "W1AW strong"}}},
        // Each later over reports the call again, so the spot stays fresh; cq belongs to its own over.
        {"later overs",
         {{FEED, "CQ DE DL2QZA K CQ DE DL2QZA DL2QZA K ", "DL2QZA cq strong, DL2QZA cq strong twice"},
          {FEED, "G4ABC DE DL2QZA K ", "DL2QZA strong twice"}}},
        // Calls waiting for their next word are decided before the window lets go of them.
        {"a window full of undecided calls",
         {{FEED, many("DL2QZA ", kCWCallExtractorWindowWords + 1), "DL2QZA weak, DL2QZA strong twice"}}},
        {"flush decides the last word, once",
         {{FEED, "CQ DE DL2QZA", ""}, {OVER, "", "DL2QZA cq strong"}, {OVER, "", ""}}},
        {"reset forgets the word in progress and the overs",
         {{FEED, "CQ DE DL2Q", ""}, {FRESH_OVER, "ZA K", ""}, {OVER, "CQ DE DL2QZA K", "DL2QZA cq strong"}}},
    };
    for (const auto& script : scripts) {
        SCOPED_TRACE(script.what);
        cw_call_extractor_reset(x);
        for (const Step& step : script.steps) {
            if (step.kind == FRESH_OVER)
                cw_call_extractor_reset(x);
            EXPECT_EQ(step.kind == FEED ? feed(step.text) : over(step.text), step.reports) << step.text;
        }
    }
}

// Text arrives as the receiver decodes it: a character at a time reads the same as in one piece.
TEST_F(CWCallExtractor, ACharacterAtATimeReadsTheSame)
{
    std::string byCharacter;
    for (char c : std::string("DL2QZA DE G4ABC G4ABC KN ")) {
        const std::string some = feed(std::string(1, c));
        byCharacter += (byCharacter.empty() || some.empty() ? "" : ", ") + some;
    }
    EXPECT_EQ(byCharacter, "G4ABC strong, G4ABC strong twice");
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
