// The transceiver state the window follows from the server's messages.
#include "tci_state.h"

#include <gtest/gtest.h>

TEST(TciState, MessagesSetWhatTheServerReportedAndGarbageChangesNothing)
{
    const struct {
        const char* message;
        double frequencyHz;  // after the message, from a fresh state
        const char* mode;
        double txWpm;  // 0: no speed reply taken
    } cases[] = {
        {"vfo:0,0,144.174;", 144174000.0, "", 0},  // MHz below 1000
        {"dds:0,50;", 0.0, "", 0},
        {"VFO:0,0,3560000;", 3560000.0, "", 0},
        {"rx_frequency:0, 10120000 ;", 10120000.0, "", 0},
        {"tx_frequency:0,7.025;", 7025000.0, "", 0},
        {"frequency:14025000;", 14025000.0, "", 0},
        {"mode:0,usb;", 0.0, "USB", 0},
        {"modulation:0,usb,cw;", 0.0, "CW", 0},
        {"cw_macros_speed:0;", 0.0, "", 1.0},
        {"cw_macros_speed:22;cw_keyer_speed:31;", 0.0, "", 31.0},
        {"vfo:0,0,7030000;modulation:0,cw;", 7030000.0, "CW", 0},
        {"CW_MACROS_SPEED:30;", 0.0, "", 0},
        {"frequency:inf;", 0.0, "", 0},
        {";;;:::,,,", 0.0, "", 0},
        {"\xff\xfe:\x01\x02;", 0.0, "", 0},
    };
    for (const auto& c : cases) {
        TCI_RADIO_STATE state;
        const TCI_STATE_EVENTS effect = tci_state_apply_message(&state, c.message);
        EXPECT_DOUBLE_EQ(state.frequencyHz, c.frequencyHz) << c.message;
        EXPECT_EQ(state.mode, c.mode) << c.message;
        EXPECT_EQ(effect.titleChanged, c.frequencyHz > 0.0 || *c.mode != '\0') << c.message;
        EXPECT_EQ(effect.txWpm.value_or(0.0), c.txWpm) << c.message;
    }
    EXPECT_FALSE(tci_state_apply_message(nullptr, "vfo:0,0,7030000;").titleChanged);
}

// Broken later commands keep earlier values and a repeated mode asks for no
// new title.
TEST(TciState, TrackingAcrossMessagesFeedsTheTitle)
{
    TCI_RADIO_STATE state;
    EXPECT_TRUE(tci_state_apply_message(&state, "vfo:0,0,7030000;modulation:0,cw;").titleChanged);
    EXPECT_FALSE(tci_state_apply_message(&state, "vfo:0,0,nan;modulation:0,1;dds:0,50;").titleChanged);
    EXPECT_FALSE(tci_state_apply_message(&state, "modulation:0,cw;").titleChanged);
    EXPECT_TRUE(state.frequencyHz == 7030000.0 && state.mode == "CW");
    EXPECT_TRUE(tci_state_apply_message(&state, " Modulation : 0, cwu ;").titleChanged);
    EXPECT_EQ(state.mode, "CWU");
    EXPECT_EQ(tci_mode_in_arguments("0,usb, cwl"), "CWL");
}
