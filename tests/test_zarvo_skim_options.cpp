// zarvo-skim's command line: what each option sets, the spans of audio and
// IQ, and the combinations refused.
#include "skim_options.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
    bool ok;
    SKIM_OPTIONS options;
    std::string error;
};

Parsed parse(const std::vector<std::string>& args)
{
    Parsed p;
    return p.ok = skim_parse_options(args, &p.options, &p.error), p;
}

}  // namespace

TEST(SkimOptions, FileOptionsReachTheRecord)
{
    const Parsed p = parse({"--spotter", "DL1ABC-2", "--dial=7020000", "--text", "--channels", "064", "--low", "400",
                            "--high", "2500", "--cluster", "7300", "band.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    const SKIM_OPTIONS& o = p.options;
    EXPECT_TRUE(o.input == "band.wav" && o.spotter == "DL1ABC-2" && o.dialHz == 7020000.0 && o.text);
    EXPECT_EQ(o.channels, 64);  // decimal, not octal
    EXPECT_TRUE(o.spanGiven && o.lowHz == 400.0 && o.highHz == 2500.0);
    EXPECT_EQ(o.clusterPort, 7300);
    EXPECT_EQ(o.tciPort, 0u);

    const Parsed plain = parse({"-"});
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_TRUE(plain.options.input == "-" && plain.options.spotter == "ZARVO-#" && plain.options.channels == 32);
    EXPECT_TRUE(!plain.options.iq && !plain.options.spanGiven && !plain.options.text);
    EXPECT_EQ(plain.options.clusterPort, 0);
    EXPECT_TRUE(parse({"--help"}).ok && !parse({"--help"}).options.infoText.empty());  // needs no input
}

// An IQ span may reach below the centre; one bound alone leaves the other
// at the edge of the stream.
TEST(SkimOptions, IqSpansMayBeNegative)
{
    const Parsed both = parse({"--iq", "--low", "-20000", "--high", "15000", "iq.wav"});
    ASSERT_TRUE(both.ok) << both.error;
    EXPECT_TRUE(both.options.iq && both.options.lowHz == -20000.0 && both.options.highHz == 15000.0);
    const Parsed low = parse({"--iq", "--low", "-3000", "iq.wav"});
    ASSERT_TRUE(low.ok) << low.error;
    EXPECT_TRUE(low.options.lowHz == -3000.0 && low.options.highHz >= 192000.0);
}

TEST(SkimOptions, TciOptions)
{
    const Parsed p =
        parse({"--tci", "ws://127.0.0.1:50001", "--iq", "--iq-rate", "192000", "--pitch", "700", "--spots-to-radio"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.tciHost == "127.0.0.1" && p.options.tciPort == 50001u && p.options.iqRate == 192000u);
    EXPECT_TRUE(p.options.pitchHz == 700.0 && p.options.spotsToRadio && p.options.input.empty());
    const Parsed defaults = parse({"--tci", "ws://radio.local:40001"});
    ASSERT_TRUE(defaults.ok) << defaults.error;
    EXPECT_TRUE(defaults.options.iqRate == 96000u && defaults.options.pitchHz == 600.0);
}

TEST(SkimOptions, MistakesAreOneLine)
{
    const struct {
        std::vector<std::string> args;
        const char* mention;
    } bad[] = {
        {{}, "no input file"},
        {{"--channels", "129", "a.wav"}, "--channels"},
        {{"--channels", "0", "a.wav"}, "--channels"},
        {{"--channels", "many", "a.wav"}, "--channels"},
        {{"--low", "-500", "a.wav"}, "cannot be negative"},
        {{"--dial", "-5", "a.wav"}, "--dial"},
        {{"--pitch", "600", "a.wav"}, "--pitch"},
        {{"--tci", "http://x:1"}, "ws://HOST:PORT"},
        {{"--low", "2000", "--high", "1000", "a.wav"}, "--low must be below --high"},
        {{"--cluster", "70000", "a.wav"}, "--cluster"},
        {{"--iq-rate", "96000", "a.wav"}, "--iq-rate"},
        {{"--pitch", "100", "--tci", "ws://h:1"}, "--pitch"},
        {{"--spots-to-radio", "a.wav"}, "--spots-to-radio"},
        {{"--dial", "7000000", "--tci", "ws://h:1"}, "--dial is for files"},
        {{"--tci", "ws://h:1", "a.wav"}, "excludes"},
        {{"--tci", "ws://h"}, "ws://HOST:PORT"},
        {{"--spotter", "", "a.wav"}, "--spotter"},
    };
    for (const auto& b : bad) {
        const Parsed p = parse(b.args);
        EXPECT_FALSE(p.ok) << b.mention;
        EXPECT_TRUE(p.error.find(b.mention) != std::string::npos && p.error.find('\n') == std::string::npos) << p.error;
    }
}
