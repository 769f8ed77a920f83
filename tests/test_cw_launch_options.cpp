#include "cw_launch_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool parse(const std::vector<std::string>& args, CW_LAUNCH_OPTIONS* options, std::string* error = nullptr)
{
    return cw_parse_launch_options(args, options, error);
}

TEST(CWLaunchOptions, ConnectTakesAnOptionalServer)
{
    CW_LAUNCH_OPTIONS o;
    ASSERT_TRUE(parse({"--connect"}, &o));
    EXPECT_TRUE(o.connect);
    EXPECT_EQ(o.host, "");
    EXPECT_EQ(o.port, 0);
    ASSERT_TRUE(parse({"--connect", "--print-log"}, &o));  // the next option is not a server
    EXPECT_TRUE(o.printLog);
    EXPECT_EQ(o.host, "");
    ASSERT_TRUE(parse({"--connect", "127.0.0.1:50002", "--quit-after", "2.5"}, &o));
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.port, 50002);
    EXPECT_EQ(o.quitAfterSeconds, 2.5);
    ASSERT_TRUE(parse({"--connect=[::1]:40001", "--quit-after=1", "--screenshot", "shot.png"}, &o));
    EXPECT_EQ(o.host, "[::1]");
    EXPECT_EQ(o.port, 40001);
    EXPECT_EQ(o.screenshotPath, "shot.png");
    ASSERT_TRUE(parse({"--help"}, &o));
    EXPECT_NE(o.infoText.find("--screenshot"), std::string::npos);
    EXPECT_FALSE(o.connect);
}

TEST(CWLaunchOptions, BadInputIsRefusedWithAReason)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--connect", "radio"},
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
             {"stray"},
         }) {
        CW_LAUNCH_OPTIONS o;
        o.port = 7;
        std::string error;
        EXPECT_FALSE(parse(args, &o, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
        EXPECT_EQ(o.port, 7) << "left as it was on failure";
    }
}

}  // namespace
