// The transceiver state the window follows from the server's messages.
#include "tci_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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
        // Only receiver 0, channel 0 is the radio's frequency.
        {"vfo:7030000;", 7030000.0, "", 0},
        {"dds:0,7000000;", 7000000.0, "", 0},
        {"vfo:0,1,7030000;", 0.0, "", 0},
        {"vfo:1,0,14025000;", 0.0, "", 0},
        {"dds:1,14000000;", 0.0, "", 0},
        {"modulation:1,usb;", 0.0, "", 0},
        {"modulation:cw;", 0.0, "CW", 0},
        {"Modulation:0, lsb;", 0.0, "LSB", 0},
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

// What a two-receiver server sends at connect, in whatever order it sends
// it: the radio's frequency is the dial of receiver 0, channel 0, never the
// panorama centre, VFO B or the other receiver.
TEST(TciRadioFrequency, TheDialOfReceiverZeroWinsInAnyOrder)
{
    std::vector<std::string> greeting = {
        "dds:0,7000000;",  "vfo:0,0,7025000;", "vfo:0,1,7030000;",  "vfo:1,0,14025000;",
        "dds:1,14000000;", "modulation:0,cw;", "modulation:1,usb;",
    };
    std::sort(greeting.begin(), greeting.end());
    size_t orders = 0;
    do {
        TCI_RADIO_STATE state;
        std::string sent;
        for (const std::string& message : greeting) {
            tci_state_apply_message(&state, message);
            sent += message;
        }
        ASSERT_DOUBLE_EQ(state.frequencyHz, 7025000.0) << sent;
        ASSERT_EQ(state.mode, "CW") << sent;
        ++orders;
    } while (std::next_permutation(greeting.begin(), greeting.end()));
    EXPECT_EQ(orders, 5040u);

    // All in one message as well.
    TCI_RADIO_STATE state;
    EXPECT_TRUE(tci_state_apply_message(&state, "dds:0,7000000;vfo:0,0,7025000;vfo:0,1,7030000;vfo:1,0,14025000;"
                                                "dds:1,14000000;dds:0,7012000;modulation:1,usb;")
                    .titleChanged);
    EXPECT_TRUE(state.frequencyHz == 7025000.0 && state.mode.empty());
}

// Servers that report only the panorama centre keep giving a frequency; a
// later dial takes over for good, and a new connection starts afresh.
TEST(TciRadioFrequency, DdsCountsUntilTheDialIsReported)
{
    TCI_RADIO_STATE state;
    EXPECT_TRUE(tci_state_apply_message(&state, "dds:0,7000000;").titleChanged);
    EXPECT_TRUE(tci_state_apply_message(&state, "DDS:0,7010000;").titleChanged);
    EXPECT_EQ(state.frequencyHz, 7010000.0);
    EXPECT_FALSE(tci_state_apply_message(&state, "dds:1,14000000;vfo:0,1,7030000;").titleChanged);
    EXPECT_EQ(state.frequencyHz, 7010000.0);

    // A broken or foreign vfo does not silence dds.
    EXPECT_FALSE(tci_state_apply_message(&state, "vfo:0,0,abc;vfo:1,0,14025000;").titleChanged);
    EXPECT_TRUE(tci_state_apply_message(&state, "dds:0,7020000;").titleChanged);
    EXPECT_EQ(state.frequencyHz, 7020000.0);

    EXPECT_TRUE(tci_state_apply_message(&state, "vfo:0,0,7025000;").titleChanged);
    EXPECT_FALSE(tci_state_apply_message(&state, "dds:0,7040000;").titleChanged);
    EXPECT_TRUE(tci_state_apply_message(&state, "vfo:0,0,7026000;").titleChanged);
    EXPECT_EQ(state.frequencyHz, 7026000.0);

    // The window clears its state at every connection.
    state = TCI_RADIO_STATE{};
    EXPECT_TRUE(tci_state_apply_message(&state, "dds:0,3500000;").titleChanged);
    EXPECT_EQ(state.frequencyHz, 3500000.0);

    // A vfo without indices is the dial of a one-receiver server.
    EXPECT_TRUE(tci_state_apply_message(&state, "vfo:3525000;dds:0,3510000;").titleChanged);
    EXPECT_EQ(state.frequencyHz, 3525000.0);
}

// A broken click among them costs only itself.
TEST(TciSpotClicks, BothFormsOfAClickBecomeATypedEvent)
{
    TCI_RADIO_STATE state;
    const TCI_STATE_EVENTS e =
        tci_state_apply_message(&state, "rx_clicked_on_spot:0,1,DL2QZA,7025300;clicked_on_spot:A,x;CLICKED_ON_SPOT: "
                                        "K1ABC , 14025000 ;Rx_Clicked_On_Spot:1,0,VP2E/DL2QZA,3525000.5;");
    ASSERT_EQ(e.spotClicks.size(), 3u);
    EXPECT_TRUE(e.spotClicks[0].call == "DL2QZA" && e.spotClicks[0].frequencyHz == 7025300.0 &&
                e.spotClicks[0].receiver == 0 && e.spotClicks[0].channel == 1);
    EXPECT_TRUE(e.spotClicks[1].call == "K1ABC" && e.spotClicks[1].frequencyHz == 14025000.0 &&
                e.spotClicks[1].receiver == -1 && e.spotClicks[1].channel == -1);
    EXPECT_TRUE(e.spotClicks[2].call == "VP2E/DL2QZA" && e.spotClicks[2].frequencyHz == 3525000.5 &&
                e.spotClicks[2].receiver == 1 && e.spotClicks[2].channel == 0);
    // A click tunes the window itself; the radio's frequency comes from vfo.
    EXPECT_TRUE(!e.titleChanged && state.frequencyHz == 0.0);
}

TEST(TciSpotClicks, BrokenClicksAreDropped)
{
    std::vector<std::string> broken;
    for (const char* arguments : {"", ":", ":DL2QZA", ":,7025300", ":DL2QZA,abc", ":DL2QZA,7025k", ":DL2QZA,-7025300",
                                  ":DL2QZA,0", ":DL2QZA,1e7", ":DL2QZA,100000000001", ":DL2QZA,7025300,extra",
                                  ":DL2QZA,99999999999999999999999999999999999"})
        broken.push_back(std::string("clicked_on_spot") + arguments + ";");
    for (const char* arguments :
         {":0,0,DL2QZA", ":DL2QZA,7025300", ":-1,0,DL2QZA,7025300", ":0,x,DL2QZA,7025300", ":256,0,DL2QZA,7025300",
          ":0,18446744073709551616,DL2QZA,7025300", ":0,0,,7025300", ":0,0,DL2QZA,nan"})
        broken.push_back(std::string("rx_clicked_on_spot") + arguments + ";");
    for (const std::string& message : broken) {
        TCI_RADIO_STATE state;
        EXPECT_TRUE(tci_state_apply_message(&state, message).spotClicks.empty()) << message;
    }
}

// The server's word decides whether IQ flows: a refused start is answered
// with a stop.
TEST(TciIqState, RateStartsAndStopsAreReportedInOrder)
{
    TCI_RADIO_STATE state;
    const TCI_STATE_EVENTS e =
        tci_state_apply_message(&state, "iq_samplerate:96000;IQ_START:0;iq_stop:0;iq_samplerate:192000;iq_start:1;");
    EXPECT_EQ(e.iqSampleRate.value_or(0), 192000u);
    ASSERT_EQ(e.iqSwitches.size(), 3u);
    EXPECT_TRUE(e.iqSwitches[0].receiver == 0 && e.iqSwitches[0].running);
    EXPECT_TRUE(e.iqSwitches[1].receiver == 0 && !e.iqSwitches[1].running);
    EXPECT_TRUE(e.iqSwitches[2].receiver == 1 && e.iqSwitches[2].running);
    EXPECT_FALSE(e.titleChanged);

    for (const char* message :
         {"iq_samplerate;", "iq_samplerate:;", "iq_samplerate:abc;", "iq_samplerate:-48000;", "iq_samplerate:47999;",
          "iq_samplerate:384001;", "iq_samplerate:4294967296;", "iq_samplerate:48000,1;", "iq_start;", "iq_start:x;",
          "iq_stop:-1;", "iq_stop:256;", "iq_start:0,0;"}) {
        const TCI_STATE_EVENTS broken = tci_state_apply_message(&state, message);
        EXPECT_TRUE(!broken.iqSampleRate && broken.iqSwitches.empty()) << message;
    }
    EXPECT_EQ(tci_state_apply_message(&state, "iq_samplerate:384000;").iqSampleRate.value_or(0), 384000u);
    EXPECT_EQ(tci_state_apply_message(&state, "iq_samplerate:48000;").iqSampleRate.value_or(0), 48000u);
}
