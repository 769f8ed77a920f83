// Macro texts expanded with the station's and the QSO's values, and the
// commands that send them.
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

}  // namespace

// Tokens in any case; unknown ones vanish with one blank; an unclosed
// bracket stays as text.
TEST(CWMacroExpansion, TokensAreReplacedAndTheRestIsKept)
{
    const CW_QSO_INPUTS qso = {" dl1abc ", "hans", "579", "559", false};
    for (auto [text, result] : {std::pair{"<MYCALL> <MYNAME> <MYQTH> <MYLOC>", "QQ0QQ ANNA BERN JN36"},
                                {"<PCALL>/<CALL> <PNAME>/<NAME>", "DL1ABC/DL1ABC HANS/HANS"},
                                {"<RST> <PRST>", "579 559"},
                                {"A<BR>B<CRLF>C", "A B C"},
                                {"<TX>X<RX>", "X"},
                                {"<mycall> de <pcall>", "QQ0QQ DE DL1ABC"},
                                {"A <X> B", "A B"},
                                {"A <X>", "A "},
                                {"A\n<X>\tB", "A\tB"},
                                {"5 < 6", "5 < 6"},
                                {"de <mycall> <rst", "DE QQ0QQ <RST"}})
        EXPECT_EQ(expanded(text, qso), result) << text;
    const CW_MACRO_EXPANSION both = cw_expanded_macro_text("<tx>CQ<Rx>", kStation, {}),
                             none = cw_expanded_macro_text("CQ", kStation, {});
    EXPECT_TRUE(both.startTx && both.stopAfterQueue && !none.startTx && !none.stopAfterQueue);
}

// An empty RST is 599, shortened to 5NN when asked; a blank one is not empty.
TEST(CWMacroExpansion, RstDefaultsShortFormAndStationValues)
{
    EXPECT_EQ(expanded("<RST> <PRST>", {"", "", "", "", true}), "5NN 599");
    EXPECT_EQ(expanded("<RST>", {"", "", "  ", "", false}) + expanded("<RST>", {"", "", "509", "", true}), "5TN");
    EXPECT_EQ(cw_expanded_macro_text("[<MYNAME>][<MYQTH>]", {"", "", " x ", ""}, {}).text, "[][ X ]");  // not trimmed
    MapStore store;  // an empty callsign keeps the default
    store.values = {{"CWMacroSetupCallsign", ""},
                    {"CWMacroSetupName", "Bob"},
                    {"CWMacroSetupQTH", "Oslo"},
                    {"CWMacroSetupLoc", "JO59"}};
    const CW_STATION_VALUES values = cw_station_values(store);
    EXPECT_EQ(values.callsign + values.name + values.qth + values.locator, "QQ0QQBobOsloJO59");
}

TEST(CWMacroExpansion, TrailingSpaceDeletionTakesOneCharacter)
{
    std::string text = "AB \u00a0";  // the no-break space is one character of two bytes
    cw_delete_one_trailing_macro_space(text);
    EXPECT_EQ(text, "AB ");
    cw_delete_one_trailing_macro_space(text), cw_delete_one_trailing_macro_space(text);
    EXPECT_EQ(text, "AB");
}

TEST(CWMacroExpansion, TxSpeedClampsAndRoundsHalvesAwayFromZero)
{
    for (auto [field, speed] : {std::pair{"0", 1L},
                                {"-3", 1L},
                                {"22.5", 23L},
                                {"27.5", 28L},
                                {"24.49", 24L},
                                {"250", 100L},
                                {"abc", 1L},
                                {"1e999", 1L}})
        EXPECT_TRUE(cw_tx_wpm_value(field) == speed && cw_tx_wpm_field_text(field) == std::to_string(speed)) << field;
}

// The window sends the stock and typed macros; here what only the plan
// shows: stored values, trimming and line breaks.
TEST(CWMacroSend, SentTextIsTrimmedAndLineBreaksBecomeBlanks)
{
    MapStore store;
    const std::string slot1 =
        cw_expanded_macro_text(cw_macro_text(store, 1), cw_station_values(store), {"", "", "599", "", true}).text;
    EXPECT_EQ(cw_macro_send_plan(slot1, true, "25").transmittedText, "DE QQ0QQ 5NN 5NN BK");
    EXPECT_EQ(cw_macro_send_plan("A\nB\n", true, "25").commands.back(), "cw_macros:0,A B;");
    const CW_MACRO_SEND_PLAN empty = cw_macro_send_plan(" \n ", true, "25"),
                             offline = cw_macro_send_plan("CQ", false, "25");
    EXPECT_TRUE(empty.outcome == CW_MACRO_SEND_EMPTY && empty.commands.empty() && empty.logLine.empty());
    EXPECT_TRUE(offline.outcome == CW_MACRO_SEND_NOT_CONNECTED && offline.commands.empty());
}
