#include "cw_macro_buttons.h"
#include "cw_macro_expansion.h"
#include "map_preference_store.h"

#include <gtest/gtest.h>

namespace {

const CW_STATION_VALUES kStation = {"QQ0QQ", "Anna", "Bern", "JN36"};

std::string expanded(const std::string& text, const CW_QSO_INPUTS& qso = {})
{
    return cw_expanded_macro_text(text, kStation, qso).text;
}

TEST(CWMacroExpansion, EveryTokenIsReplaced)
{
    const CW_QSO_INPUTS qso = {" dl1abc ", "hans", "579", "559", false};
    struct Case {
        const char* text;
        const char* result;
    };
    for (const Case c : {Case{"<MYCALL>", "QQ0QQ"}, Case{"<MYNAME>", "ANNA"}, Case{"<MYQTH>", "BERN"},
                         Case{"<MYLOC>", "JN36"}, Case{"<PCALL>/<CALL>", "DL1ABC/DL1ABC"},
                         Case{"<PNAME>/<NAME>", "HANS/HANS"}, Case{"<RST>", "579"}, Case{"<PRST>", "559"},
                         Case{"A<BR>B<CRLF>C", "A B C"}, Case{"<TX>X<RX>", "X"}, Case{"<mycall> de <pcall>",
                         "QQ0QQ DE DL1ABC"}})
        EXPECT_EQ(expanded(c.text, qso), c.result) << c.text;
}

TEST(CWMacroExpansion, FlagsReportTxAndRxTokens)
{
    const CW_MACRO_EXPANSION both = cw_expanded_macro_text("<tx>CQ<Rx>", kStation, {});
    EXPECT_TRUE(both.startTx);
    EXPECT_TRUE(both.stopAfterQueue);
    const CW_MACRO_EXPANSION none = cw_expanded_macro_text("CQ", kStation, {});
    EXPECT_FALSE(none.startTx);
    EXPECT_FALSE(none.stopAfterQueue);
}

TEST(CWMacroExpansion, UnknownTokensVanishWithOneSpace)
{
    EXPECT_EQ(expanded("A <X> B"), "A B");
    EXPECT_EQ(expanded("A<X> B"), "A B");
    EXPECT_EQ(expanded("A <X>"), "A ");
    EXPECT_EQ(expanded("A\n<X>\tB"), "A\tB");
    EXPECT_EQ(expanded("A <MYNAME> B"), "A ANNA B");
    EXPECT_EQ(expanded("<FOO>"), "");
}

TEST(CWMacroExpansion, UnclosedBracketStaysAsText)
{
    EXPECT_EQ(expanded("5 < 6"), "5 < 6");
    EXPECT_EQ(expanded("de <mycall> <rst"), "DE QQ0QQ <RST");
    EXPECT_EQ(expanded(""), "");
}

TEST(CWMacroExpansion, RstDefaultsShortFormAndStationValues)
{
    EXPECT_EQ(expanded("<RST> <PRST>", {"", "", "", "", true}), "5NN 599");
    EXPECT_EQ(expanded("<RST>", {"", "", "  ", "", false}), "");  // spaces are not empty: no 599
    EXPECT_EQ(expanded("<RST>", {"", "", "509", "", true}), "5TN");
    EXPECT_EQ(cw_short_rst_string(" 599x "), "5NNX");
    const CW_STATION_VALUES blank = {"", "", " x ", ""};
    EXPECT_EQ(cw_expanded_macro_text("[<MYNAME>][<MYQTH>]", blank, {}).text, "[][ X ]");  // not trimmed
}

TEST(CWMacroExpansion, StationValuesComeFromTheStore)
{
    MapStore store;
    EXPECT_EQ(cw_station_values(store).callsign, "QQ0QQ");
    store.values = {{"CWMacroSetupCallsign", ""}, {"CWMacroSetupName", "Bob"}, {"CWMacroSetupQTH", "Oslo"},
                    {"CWMacroSetupLoc", "JO59"}};
    const CW_STATION_VALUES values = cw_station_values(store);
    EXPECT_EQ(values.callsign, "QQ0QQ");
    EXPECT_EQ(values.name + values.qth + values.locator, "BobOsloJO59");
}

TEST(CWMacroExpansion, TrailingSpaceDeletionTakesOneCharacter)
{
    std::string text = "AB \u00a0";
    cw_delete_one_trailing_macro_space(text);
    EXPECT_EQ(text, "AB ");
    cw_delete_one_trailing_macro_space(text);
    cw_delete_one_trailing_macro_space(text);
    EXPECT_EQ(text, "AB");
    EXPECT_TRUE(cw_macro_char_is_space(U'\u2028'));
    EXPECT_FALSE(cw_macro_char_is_space(U'x'));
}

TEST(CWMacroExpansion, TxSpeedClampsAndRoundsHalvesAwayFromZero)
{
    struct Case {
        const char* field;
        long speed;
    };
    for (const Case c : {Case{"0", 1}, Case{"", 1}, Case{"-3", 1}, Case{"22.5", 23}, Case{"27.5", 28},
                         Case{"24.49", 24}, Case{"250", 100}, Case{"abc", 1}, Case{"1e999", 1}}) {
        EXPECT_EQ(cw_tx_wpm_value(c.field), c.speed) << c.field;
        EXPECT_EQ(cw_tx_wpm_field_text(c.field), std::to_string(c.speed)) << c.field;
    }
}

TEST(CWMacroSend, SlotZeroSendsThreeCommandsInOrder)
{
    MapStore store;
    const CW_MACRO_EXPANSION expansion = cw_expanded_macro_text(cw_macro_text(store, 0), cw_station_values(store), {});
    const CW_MACRO_SEND_PLAN plan = cw_macro_send_plan(expansion.text, true, "22.5");
    EXPECT_EQ(plan.outcome, CW_MACRO_SEND_SENT);
    const std::vector<std::string> commands = {"cw_terminal:false;", "cw_macros_speed:23;",
                                               "cw_macros:0,CQ CQ CQ DE QQ0QQ QQ0QQ QQ0QQ K;"};
    EXPECT_EQ(plan.commands, commands);
    EXPECT_EQ(plan.logLine, ">> TX macro: CQ CQ CQ DE QQ0QQ QQ0QQ QQ0QQ K");
    EXPECT_EQ(plan.transmittedText, "CQ CQ CQ DE QQ0QQ QQ0QQ QQ0QQ K");
    EXPECT_EQ(plan.speed, 23);
    EXPECT_EQ(plan.txWpmFieldText, "23");
}

TEST(CWMacroSend, SentTextIsTrimmedAndEncoded)
{
    MapStore store;
    const CW_QSO_INPUTS qso = {"", "", "599", "", true};
    const std::string slot1 = cw_expanded_macro_text(cw_macro_text(store, 1), cw_station_values(store), qso).text;
    EXPECT_EQ(cw_macro_send_plan(slot1, true, "25").transmittedText, "DE QQ0QQ 5NN 5NN BK");
    const std::string typed = expanded("<tx>hello, world: test; x<rx>");
    EXPECT_EQ(typed, "HELLO, WORLD: TEST; X");
    EXPECT_EQ(cw_macro_send_plan(typed, true, "25").commands.back(), "cw_macros:0,HELLO~ WORLD^ TEST* X;");
    EXPECT_EQ(cw_macro_send_plan("A\nB\n", true, "25").commands.back(), "cw_macros:0,A B;");
}

TEST(CWMacroSend, NothingGoesOutWhenEmptyOrNotConnected)
{
    const CW_MACRO_SEND_PLAN empty = cw_macro_send_plan(" \n ", true, "25");
    EXPECT_EQ(empty.outcome, CW_MACRO_SEND_EMPTY);
    EXPECT_TRUE(empty.commands.empty());
    EXPECT_EQ(empty.logLine, "");
    const CW_MACRO_SEND_PLAN offline = cw_macro_send_plan("CQ", false, "25");
    EXPECT_EQ(offline.outcome, CW_MACRO_SEND_NOT_CONNECTED);
    EXPECT_TRUE(offline.commands.empty());
    EXPECT_EQ(offline.logLine, "TX ignored: TCI not connected.");
    EXPECT_EQ(offline.transmittedText, "");
}

}  // namespace
