// The window program's command line.
#include "cw_launch_options.h"

#include <gtest/gtest.h>

// --connect takes an optional server, never the next option.
TEST(CWLaunchOptions, ConnectTakesAnOptionalServer)
{
    CW_LAUNCH_OPTIONS o;
    ASSERT_TRUE(cw_parse_launch_options({"--connect", "--print-log"}, &o, nullptr));
    EXPECT_TRUE(o.connect && o.printLog);
    EXPECT_EQ(o.host, "");
    EXPECT_EQ(o.port, 0);
    ASSERT_TRUE(cw_parse_launch_options({"--connect", "127.0.0.1:50002", "--quit-after", "2.5"}, &o, nullptr));
    EXPECT_EQ(o.host + ":" + std::to_string(o.port), "127.0.0.1:50002");
    EXPECT_EQ(o.quitAfterSeconds, 2.5);
    ASSERT_TRUE(cw_parse_launch_options({"--connect=[::1]:40001", "--quit-after=1", "--screenshot", "shot.png"}, &o,
                                        nullptr));
    EXPECT_EQ(o.host + ":" + std::to_string(o.port), "[::1]:40001");
    EXPECT_EQ(o.screenshotPath, "shot.png");
    ASSERT_TRUE(cw_parse_launch_options({"--help"}, &o, nullptr));
    EXPECT_NE(o.infoText.find("--screenshot"), std::string::npos);
    EXPECT_FALSE(o.connect);
}

// Refused with a reason, leaving the options as they were.
TEST(CWLaunchOptions, BadInputIsRefusedWithAReason)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--connect", "radio"}, {"--connect", "radio:0"}, {"--connect", "radio:65536"}, {"--connect", ":50001"},
             {"--connect", "::1:50001"}, {"--connect", "[::1:50001"}, {"--quit-after"}, {"--quit-after", "0"},
             {"--quit-after", "1e9"}, {"--screenshot", "a.png"}, {"--screenshot="}, {"--verbose"}, {"stray"}}) {
        CW_LAUNCH_OPTIONS o;
        o.port = 7;
        std::string error;
        EXPECT_FALSE(cw_parse_launch_options(args, &o, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
        EXPECT_EQ(o.port, 7) << args[0];
    }
}
