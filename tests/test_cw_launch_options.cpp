// The window program's command line.
#include "cw_launch_options.h"

#include <gtest/gtest.h>

// --connect takes an optional server, never the next option.
TEST(CWLaunchOptions, ConnectTakesAnOptionalServer)
{
    CW_LAUNCH_OPTIONS o;
    ASSERT_TRUE(cw_parse_launch_options({"--connect", "--print-log"}, &o, nullptr));
    EXPECT_TRUE(o.connect && o.printLog && o.host.empty() && o.port == 0);
    ASSERT_TRUE(cw_parse_launch_options({"--connect", "127.0.0.1:50002", "--quit-after", "2.5"}, &o, nullptr));
    EXPECT_TRUE(o.host == "127.0.0.1" && o.port == 50002 && o.quitAfterSeconds == 2.5);
    ASSERT_TRUE(
        cw_parse_launch_options({"--connect=[::1]:40001", "--quit-after=1", "--screenshot", "x.png"}, &o, nullptr));
    EXPECT_TRUE(o.host == "[::1]" && o.port == 40001 && o.screenshotPath == "x.png");
    ASSERT_TRUE(cw_parse_launch_options({"--help"}, &o, nullptr));
    EXPECT_TRUE(o.infoText.find("--screenshot") != std::string::npos && !o.connect);
}

// Refused with a reason, leaving the options as they were.
TEST(CWLaunchOptions, BadInputIsRefusedWithAReason)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--connect", "radio"},
                                                                                      {"--connect", "radio:0"},
                                                                                      {"--connect", "radio:65536"},
                                                                                      {"--connect", ":50001"},
                                                                                      {"--connect", "::1:50001"},
                                                                                      {"--connect", "[::1:50001"},
                                                                                      {"--quit-after"},
                                                                                      {"--quit-after", "0"},
                                                                                      {"--quit-after", "1e9"},
                                                                                      {"--screenshot", "a.png"},
                                                                                      {"--screenshot="},
                                                                                      {"--verbose"},
                                                                                      {"stray"}}) {
        CW_LAUNCH_OPTIONS o;
        o.port = 7;
        std::string error;
        EXPECT_TRUE(!cw_parse_launch_options(args, &o, &error) && !error.empty() && o.port == 7) << args[0];
    }
}
