// The transceiver state the window follows from the server's messages.
#include "tci_state.h"

#include "cw_window_title.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct MESSAGE_CASE {
    const char* message;
    double frequencyHz;   // after the message, from a fresh state
    const char* mode;
    double txWpm;         // NAN: no speed reply taken
};

class TciMessageTable : public ::testing::TestWithParam<MESSAGE_CASE> {};

TEST_P(TciMessageTable, SetsWhatTheServerReported)
{
    const MESSAGE_CASE& c = GetParam();
    TCI_RADIO_STATE state;
    const TCI_STATE_EVENTS effect = tci_state_apply_message(&state, c.message);
    EXPECT_DOUBLE_EQ(state.frequencyHz, c.frequencyHz);
    EXPECT_EQ(state.mode, c.mode);
    EXPECT_EQ(effect.titleChanged, c.frequencyHz > 0.0 || *c.mode != '\0');
    if (std::isnan(c.txWpm))
        EXPECT_FALSE(effect.txWpm.has_value());
    else
        EXPECT_EQ(effect.txWpm.value_or(-1.0), c.txWpm);
}

INSTANTIATE_TEST_SUITE_P(
    ServerMessages, TciMessageTable,
    ::testing::Values(MESSAGE_CASE{"vfo:0,0,7030000;", 7030000.0, "", NAN},
                      MESSAGE_CASE{"vfo:0,0,144.174;", 144174000.0, "", NAN},
                      MESSAGE_CASE{"dds:0,50;", 0.0, "", NAN},
                      MESSAGE_CASE{"dds:0,14000000;", 14000000.0, "", NAN},
                      MESSAGE_CASE{"VFO:0,0,3560000;", 3560000.0, "", NAN},
                      MESSAGE_CASE{"rx_frequency:0, 10120000 ;", 10120000.0, "", NAN},
                      MESSAGE_CASE{"tx_frequency:0,7.025;", 7025000.0, "", NAN},
                      MESSAGE_CASE{"frequency:14025000;", 14025000.0, "", NAN},
                      MESSAGE_CASE{"modulation:0,cw;", 0.0, "CW", NAN},
                      MESSAGE_CASE{"modulation:0,CWL;", 0.0, "CWL", NAN},
                      MESSAGE_CASE{"mode:0,usb;", 0.0, "USB", NAN},
                      MESSAGE_CASE{"modulation:0,true;", 0.0, "", NAN},
                      MESSAGE_CASE{"modulation:0,usb,cw;", 0.0, "CW", NAN},
                      MESSAGE_CASE{"cw_keyer_speed:250;", 0.0, "", 100.0},
                      MESSAGE_CASE{"cw_macros_speed:0;", 0.0, "", 1.0},
                      MESSAGE_CASE{"cw_macros_speed:22;cw_keyer_speed:31;", 0.0, "", 31.0},
                      MESSAGE_CASE{"vfo:0,0,7030000;modulation:0,cw;", 7030000.0, "CW", NAN},
                      MESSAGE_CASE{"trx_count:1;cw_macros_empty;", 0.0, "", NAN},
                      MESSAGE_CASE{"CW_MACROS_SPEED:30;", 0.0, "", NAN},
                      MESSAGE_CASE{"cw_macros_speed:;", 0.0, "", NAN}));

// Faults the server (or a broken link) can produce: nothing changes.
INSTANTIATE_TEST_SUITE_P(
    Garbage, TciMessageTable,
    ::testing::Values(MESSAGE_CASE{"cw_macros_speed:nan;", 0.0, "", NAN},
                      MESSAGE_CASE{"cw_keyer_speed:abc;", 0.0, "", NAN},
                      MESSAGE_CASE{"vfo:0,0,1e300;", 0.0, "", NAN},
                      MESSAGE_CASE{"vfo:0,0,99999999999999999999999999999;", 0.0, "", NAN},
                      MESSAGE_CASE{"frequency:nan;", 0.0, "", NAN},
                      MESSAGE_CASE{"frequency:inf;", 0.0, "", NAN},
                      MESSAGE_CASE{"vfo:;", 0.0, "", NAN},
                      MESSAGE_CASE{"modulation:;", 0.0, "", NAN},
                      MESSAGE_CASE{";;;:::,,,", 0.0, "", NAN},
                      MESSAGE_CASE{"\xff\xfe:\x01\x02;", 0.0, "", NAN},
                      MESSAGE_CASE{"", 0.0, "", NAN}));

TEST(TciStateTracking, KeepsEarlierValuesWhenLaterCommandsAreBroken)
{
    TCI_RADIO_STATE state;
    tci_state_apply_message(&state, "vfo:0,0,7030000;modulation:0,cw;");
    const TCI_STATE_EVENTS effect = tci_state_apply_message(&state, "vfo:0,0,nan;modulation:0,1;dds:0,50;");
    EXPECT_FALSE(effect.titleChanged);
    EXPECT_DOUBLE_EQ(state.frequencyHz, 7030000.0);
    EXPECT_EQ(state.mode, "CW");
}

TEST(TciStateTracking, ARepeatedModeDoesNotAskForANewTitle)
{
    TCI_RADIO_STATE state;
    EXPECT_TRUE(tci_state_apply_message(&state, "modulation:0,cw;").titleChanged);
    EXPECT_FALSE(tci_state_apply_message(&state, "modulation:0,cw;").titleChanged);
    EXPECT_TRUE(tci_state_apply_message(&state, " Modulation : 0, cwu ;").titleChanged);
    EXPECT_EQ(state.mode, "CWU");
    EXPECT_EQ(tci_mode_in_arguments("0,usb, cwl"), "CWL");
}

TEST(TciStateTracking, TitleShowsWhatWasTracked)
{
    TCI_RADIO_STATE state;
    tci_state_apply_message(&state, "vfo:0,0,7030000;modulation:0,cw;");
    EXPECT_EQ(cw_window_connection_title(true, state.frequencyHz, state.mode),
              "Zarvo \u2014 Connected \u2014 7.030000 MHz \u2014 CW");
    tci_state_apply_message(&state, "vfo:0,0,144.174;");
    EXPECT_EQ(cw_window_connection_title(true, state.frequencyHz, state.mode),
              "Zarvo \u2014 Connected \u2014 144.174 MHz \u2014 CW");
}

TEST(TciStateTracking, NullStateIsHarmless)
{
    EXPECT_FALSE(tci_state_apply_message(nullptr, "vfo:0,0,7030000;").titleChanged);
}

}  // namespace
