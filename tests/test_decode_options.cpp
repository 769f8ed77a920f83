// zarvo-decode's command line and its status lines.
#include "decode_options.h"
#include "decode_status_json.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Parsed {
    bool ok;
    DECODE_OPTIONS options;
    std::string error;
};

Parsed parse(const std::vector<std::string>& args)
{
    Parsed p;
    return p.ok = decode_parse_options(args, &p.options, &p.error), p;
}

}  // namespace

// Values follow their option or an '='; seconds become milliseconds and the
// release threshold is half the threshold, as in the window.
TEST(DecodeOptions, SettingsReachTheReceiverInItsUnits)
{
    const Parsed p = parse({"--pitch", "700", "--bandwidth=50", "--auto-pitch", "--agc", "off", "--lock-hold", "2.5",
                            "--threshold", "0.6", "--block", "512", "--status", "s.jsonl", "--fallback", "-"});
    ASSERT_TRUE(p.ok) << p.error;
    const CW_RX_CONFIG& c = p.options.config;
    EXPECT_TRUE(c.pitchHz == 700.0 && c.bandwidthHz == 50.0 && c.autoPitch == 1 && c.agcEnabled == 0);
    EXPECT_TRUE(c.lockHoldMs == 2500.0 && c.releaseThreshold == 0.3f && p.options.blockSamples == 512u);
    EXPECT_TRUE(p.options.statusPath == "s.jsonl" && p.options.fallback && p.options.input == "-");
    const Parsed plain = parse({"in.wav"});
    EXPECT_EQ(plain.options.config.releaseThreshold, 0.5f * plain.options.config.threshold);
    EXPECT_EQ(parse({"--block", "010", "in.wav"}).options.blockSamples, 10u);  // decimal, not octal
    EXPECT_TRUE(parse({"--help"}).ok);                                         // needs no input
}

// Without a pitch the decoder finds the tone itself; the squelch is on at
// the window's default level unless set, and held to 0..1.
TEST(DecodeOptions, PitchAutoAndSquelchLevel)
{
    const struct {
        std::vector<std::string> args;
        bool autoTune;
        double squelch;
    } cases[] = {
        {{"a.wav"}, true, 0.5},
        {{"--pitch", "700", "--pitch=auto", "a.wav"}, true, 0.5},
        {{"--pitch=700", "--squelch", "0", "a.wav"}, false, 0.0},
        {{"--squelch=0.8", "a.wav"}, true, 0.8},
        {{"--squelch", "-2", "a.wav"}, true, 0.0},
        {{"--squelch", "5", "a.wav"}, true, 1.0},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        EXPECT_TRUE(p.ok && p.options.autoTune == c.autoTune && p.options.squelch == c.squelch) << c.args[0] << p.error;
    }
}

// Headerless input is described in full; --timestamps and --out go with any
// input.
TEST(DecodeOptions, RawInputTimestampsAndOutFile)
{
    const Parsed raw =
        parse({"--raw", "f32le", "--rate=48000", "--channels", "2", "--timestamps", "--out", "log.txt", "-"});
    ASSERT_TRUE(raw.ok) << raw.error;
    EXPECT_TRUE(raw.options.raw == DECODE_RAW_F32LE && raw.options.rawRate == 48000u && raw.options.rawChannels == 2);
    EXPECT_TRUE(raw.options.timestamps && raw.options.outPath == "log.txt");
    const Parsed plain = parse({"--raw", "s16le", "--rate", "8000", "-"});
    EXPECT_TRUE(plain.ok && plain.options.raw == DECODE_RAW_S16LE && plain.options.rawChannels == 1) << plain.error;
    EXPECT_TRUE(parse({"a.wav"}).options.raw == DECODE_RAW_NONE && !parse({"a.wav"}).options.timestamps);
    EXPECT_EQ(parse({"--raw", "s16le", "-"}).error, "--raw needs --rate");
}

// Mistakes, in the audio options as anywhere, are reported in one line, not
// guessed at; a TCI URL must name exactly one server.
TEST(DecodeOptions, MistakesAreReportedNotGuessed)
{
    using Args = std::vector<std::string>;
    for (const Args& args : {Args{},
                             Args{"a.wav", "b.wav"},
                             Args{"--pitch", "high", "a.wav"},
                             Args{"--pitch", "nan", "a.wav"},
                             Args{"--pitch", "Auto", "a.wav"},
                             Args{"--agc", "maybe", "a.wav"},
                             Args{"--block", "2.5", "a.wav"},
                             Args{"--bogus", "a.wav"},
                             Args{"--fallback=1", "a.wav"},
                             Args{"--status=", "s.jsonl", "a.wav"},
                             Args{"a.wav", "--pitch"},
                             Args{"--squelch", "off", "a.wav"},
                             Args{"a.wav", "--tci", "ws://h:1"},
                             Args{"--tci", "ws://h:99999"},
                             Args{"--rate", "8000", "-"},
                             Args{"--raw", "u8", "--rate", "8000", "-"},
                             Args{"--raw", "s16le", "--rate", "4000", "-"},
                             Args{"--raw", "s16le", "--rate", "400000", "-"},
                             Args{"--raw", "s16le", "--rate", "8000", "--channels", "0", "-"},
                             Args{"--raw", "s16le", "--rate", "8000", "--tci", "ws://h:1"},
                             Args{"--out=", "a.wav"}}) {
        const Parsed p = parse(args);
        EXPECT_TRUE(!p.ok && !p.error.empty() && p.error.find('\n') == std::string::npos) << p.error;
    }
    const Parsed tci = parse({"--tci", "ws://192.168.1.20:40001"});
    ASSERT_TRUE(tci.ok) << tci.error;
    EXPECT_TRUE(tci.options.tciHost == "192.168.1.20" && tci.options.tciPort == 40001u);
    for (const char* url :
         {"http://h:1", "ws://h", "ws://h:0", "ws://h:70000", "ws://h:1x", "ws://a/b:1", "ws://u@h:1"}) {
        std::string host;
        uint64_t port = 0;
        EXPECT_FALSE(decode_parse_tci_url(url, &host, &port)) << url;
    }
}

TEST(DecodeStatusJson, FieldsInRecordOrderAndNonFiniteAsNull)
{
    CW_RX_STATUS s{};
    s.lock = 2, s.pitchHz = 612.5, s.decoderCost = std::numeric_limits<float>::infinity();
    const std::string line = decode_status_json(1.2, s);
    EXPECT_TRUE(line.front() == '{' && line.back() == '}') << line;
    size_t at = 0;  // keys in the record's order
    for (const char* key :
         {"t", "level", "threshold", "reserved", "keyDown", "signalPresent", "lock", "pitchHz", "wpm", "inputLevel",
          "decoderGain", "decoderCost", "statWpm", "statQuality", "statSnrDb", "statOnRatio"}) {
        at = line.find(std::string("\"") + key + "\":", at);
        ASSERT_NE(at, std::string::npos) << key;
    }
    for (const char* field : {"\"t\":1.2,", "\"lock\":2,", "\"pitchHz\":612.5,", "\"decoderCost\":null,"})
        EXPECT_NE(line.find(field), std::string::npos) << field << " in " << line;
}
