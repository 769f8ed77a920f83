// zarvo-decode's command line.
#include "decode_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    DECODE_OPTIONS options;
    std::string error;
};

Parsed parse(const std::vector<std::string>& args)
{
    Parsed p;
    p.ok = decode_parse_options(args, &p.options, &p.error);
    return p;
}

}  // namespace

TEST(DecodeOptions, DefaultsAreTheWindowsSettings)
{
    const Parsed p = parse({"in.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.input, "in.wav");
    EXPECT_EQ(p.options.blockSamples, 2048u);
    EXPECT_EQ(p.options.config.pitchHz, 600.0);
    EXPECT_EQ(p.options.config.autoPitch, 0);
    EXPECT_EQ(p.options.config.releaseThreshold, 0.25f);
    EXPECT_FALSE(p.options.fallback);
    EXPECT_TRUE(p.options.statusPath.empty());
}

TEST(DecodeOptions, EveryReceiverSettingHasAnOption)
{
    const Parsed p = parse({"--pitch", "700", "--bandwidth=50", "--min-wpm", "15", "--max-wpm", "35", "--search",
                            "20", "--auto-pitch", "--agc", "off", "--lock-hold", "2.5", "--threshold", "0.6",
                            "--block", "512", "--status", "s.jsonl", "--fallback", "-"});
    ASSERT_TRUE(p.ok) << p.error;
    const CW_RX_CONFIG& c = p.options.config;
    EXPECT_EQ(c.pitchHz, 700.0);
    EXPECT_EQ(c.bandwidthHz, 50.0);
    EXPECT_EQ(c.minWpm, 15.0);
    EXPECT_EQ(c.maxWpm, 35.0);
    EXPECT_EQ(c.searchHz, 20.0);
    EXPECT_EQ(c.autoPitch, 1);
    EXPECT_EQ(c.agcEnabled, 0);
    EXPECT_EQ(c.lockHoldMs, 2500.0);
    EXPECT_FLOAT_EQ(c.threshold, 0.6f);
    EXPECT_FLOAT_EQ(c.releaseThreshold, 0.3f);
    EXPECT_EQ(p.options.blockSamples, 512u);
    EXPECT_EQ(p.options.statusPath, "s.jsonl");
    EXPECT_TRUE(p.options.fallback);
    EXPECT_EQ(p.options.input, "-");
}

TEST(DecodeOptions, MistakesAreReportedNotGuessed)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a.wav", "b.wav"},
        {"--pitch", "high", "a.wav"},
        {"--pitch", "nan", "a.wav"},
        {"--agc", "maybe", "a.wav"},
        {"--block", "0", "a.wav"},
        {"--block", "2.5", "a.wav"},
        {"--bogus", "a.wav"},
        {"--fallback=1", "a.wav"},
        {"a.wav", "--pitch"},
    };
    for (const auto& args : bad) {
        const Parsed p = parse(args);
        EXPECT_FALSE(p.ok) << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(p.error.empty());
        EXPECT_EQ(p.error.find('\n'), std::string::npos);
    }
}

TEST(DecodeOptions, HelpNeedsNoInput)
{
    const Parsed p = parse({"--help"});
    EXPECT_TRUE(p.ok);
    EXPECT_TRUE(p.options.help);
    EXPECT_NE(std::string(decode_usage()).find("--lock-hold"), std::string::npos);
}
