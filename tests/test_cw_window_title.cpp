#include "cw_window_title.h"

#include <gtest/gtest.h>

TEST(CWWindowTitle, ShowsTheLinkAndWhileConnectedFrequencyAndMode)
{
    const struct {
        bool connected;
        double hz;
        const char* mode;
        const char* title;
    } cases[] = {
        {false, 7030000, "CW", "Zarvo \u2014 Disconnected"},
        {true, 0, "", "Zarvo \u2014 Connected"},
        {true, 7030000, " cw\n", "Zarvo \u2014 Connected \u2014 7.030000 MHz \u2014 CW"},
        {true, 144174000, "", "Zarvo \u2014 Connected \u2014 144.174 MHz"},
        {true, 99999999, "usb", "Zarvo \u2014 Connected \u2014 99.999999 MHz \u2014 USB"},
        {true, 0.0 / 0.0, "CWL", "Zarvo \u2014 Connected \u2014 CWL"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cw_window_connection_title(c.connected, c.hz, c.mode), c.title);
    EXPECT_EQ(cw_disconnected_status("Connection refused"), "Disconnected: Connection refused");
    EXPECT_EQ(cw_disconnected_status(""), "RX audio --");
}
