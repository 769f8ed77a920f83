#include "tci_sim_session.h"

#include "TCIStreamInfo.h"
#include "tci_keying_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

TCI_SIM_OPTIONS small_options()
{
    TCI_SIM_OPTIONS o;
    o.source = TCI_SIM_SOURCE::Ramp;
    o.sampleRate = 8000;
    o.frameSamples = 400;
    return o;
}

struct Sim {
    explicit Sim(const TCI_SIM_OPTIONS& o = small_options()) : session(o, nullptr) {}

    std::vector<std::string> texts(const std::string& message, double now = 0.0)
    {
        TCI_SIM_OUTPUT out;
        session.receive(message, now, &out);
        lastLog = out.log;
        return text_of(out);
    }
    TCI_SIM_OUTPUT tick(double now)
    {
        TCI_SIM_OUTPUT out;
        session.tick(now, &out);
        return out;
    }
    static std::vector<std::string> text_of(const TCI_SIM_OUTPUT& out)
    {
        std::vector<std::string> t;
        for (const TCI_SIM_MESSAGE& m : out.messages)
            if (!m.binary)
                t.push_back(m.text);
        return t;
    }
    static std::vector<std::vector<uint8_t>> frames_of(const TCI_SIM_OUTPUT& out)
    {
        std::vector<std::vector<uint8_t>> f;
        for (const TCI_SIM_MESSAGE& m : out.messages)
            if (m.binary)
                f.push_back(m.bytes);
        return f;
    }
    bool logged(const std::string& part) const
    {
        return std::any_of(lastLog.begin(), lastLog.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }

    TciSimSession session;
    std::vector<std::string> lastLog;
};

using Texts = std::vector<std::string>;

}  // namespace

TEST(TciSimSessionStartup, QueriesAreAnsweredAndSettingsAreNot)
{
    Sim sim;
    Texts replies;
    for (const char* command : kTCIStartupCommands) {
        const Texts t = sim.texts(command);
        replies.insert(replies.end(), t.begin(), t.end());
    }
    EXPECT_EQ(replies, (Texts{"protocol:ExpertSDR3,1.0;", "device:zarvo-tci-sim;", "trx_count:1;",
                              "channels_count:1;", "modulation:0,cw;", "cw_macros_speed:25;", "cw_keyer_speed:25;",
                              "audio_stream_samples:400;"}));
    EXPECT_TRUE(sim.session.streaming());
}

TEST(TciSimSessionStartup, SeveralCommandsInOneMessageAreAnsweredInOrder)
{
    Sim sim;
    EXPECT_EQ(sim.texts("vfo:0,0;dds:0; cw_keyer_speed ;"),
              (Texts{"vfo:0,0,7025000;", "dds:0,7025000;", "cw_keyer_speed:25;"}));
}

TEST(TciSimSessionState, SettingsChangeWhatQueriesReport)
{
    Sim sim;
    EXPECT_TRUE(sim.texts("vfo:0,0,14025000;modulation:0,USB;cw_macros_speed:32;").empty());
    EXPECT_EQ(sim.texts("vfo:0,0;modulation:0;cw_macros_speed;"),
              (Texts{"vfo:0,0,14025000;", "modulation:0,usb;", "cw_macros_speed:32;"}));
}

TEST(TciSimSessionState, BadCommandsAreLoggedAndChangeNothing)
{
    Sim sim;
    for (const char* bad : {"cw_macros_speed:0;", "cw_macros_speed:abc;", "vfo:0,0,12;", "vfo:1,0;",
                            "audio_stream_channels:3;", "audio_stream_sample_type:float64;", "no_such_thing:1;",
                            "modulation:0,cw,extra;"}) {
        EXPECT_TRUE(sim.texts(bad).empty()) << bad;
        EXPECT_GE(sim.lastLog.size(), 2u) << bad;  // the message itself and why it was ignored
    }
    EXPECT_EQ(sim.texts("cw_macros_speed;vfo:0,0;audio_stream_channels;"),
              (Texts{"cw_macros_speed:25;", "vfo:0,0,7025000;", "audio_stream_channels:1;"}));
}

TEST(TciSimSessionAudio, StreamRunsFromAudioStartUntilAudioStop)
{
    Sim sim;
    EXPECT_TRUE(Sim::frames_of(sim.tick(1.0)).empty());
    sim.texts("audio_start:0;", 1.0);
    const auto frames = Sim::frames_of(sim.tick(2.0));
    EXPECT_EQ(frames.size(), 20u);
    const TCIStreamInfo info = parseStreamInfoFromData(frames[0].data(), frames[0].size());
    EXPECT_TRUE(info.isRxAudioFloat32);
    EXPECT_EQ(info.sampleRate, 8000u);
    sim.texts("audio_stop:0;", 2.0);
    EXPECT_TRUE(sim.logged("audio stopped after 20 frames"));
    EXPECT_TRUE(Sim::frames_of(sim.tick(3.0)).empty());
}

TEST(TciSimSessionAudio, StreamFollowsTheRequestedFormat)
{
    Sim sim;
    sim.texts("audio_stream_sample_type:int16;audio_stream_channels:2;audio_stream_samples:100;audio_start:0;");
    const auto frames = Sim::frames_of(sim.tick(0.1));
    ASSERT_EQ(frames.size(), 8u);
    const TCIStreamInfo info = parseStreamInfoFromData(frames[0].data(), frames[0].size());
    EXPECT_EQ(info.format, 0u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.frameCount, 100u);
}

TEST(TciSimSessionKeying, MacroTextIsKeyedAtTheMacroSpeed)
{
    Sim sim;
    sim.texts("cw_terminal:false;");
    sim.texts("cw_macros_speed:30;");
    sim.texts("cw_macros:0,R~N;audio_start:0;");
    EXPECT_TRUE(sim.logged("keying at 30 WPM: R,N"));
    std::vector<float> audio;
    std::vector<std::vector<uint8_t>> frames = Sim::frames_of(sim.tick(1.0));
    for (const auto& f : Sim::frames_of(sim.tick(1.5)))
        frames.push_back(f);
    for (const auto& f : frames) {
        const size_t n = (f.size() - 64) / 4;
        for (size_t i = 0; i < n; ++i) {
            float v;
            std::memcpy(&v, f.data() + 64 + 4 * i, 4);
            audio.push_back(v);
        }
    }
    EXPECT_EQ(tci_keying::code(audio, 8000, 30), ".-. --..-- -.");
}

TEST(TciSimSessionKeying, StopDropsQueuedText)
{
    Sim sim;
    sim.texts("cw_macros:0,TEST TEST TEST;");
    EXPECT_TRUE(sim.session.keying());
    sim.texts("cw_macros_stop;");
    EXPECT_FALSE(sim.session.keying());
    EXPECT_TRUE(sim.logged("12 queued characters dropped"));
}

TEST(TciSimSessionKeying, MacroForAnotherTransceiverIsIgnored)
{
    Sim sim;
    sim.texts("cw_macros:1,TEST;");
    EXPECT_FALSE(sim.session.keying());
    sim.texts("cw_macros:TEST;");
    EXPECT_FALSE(sim.session.keying());
}

TEST(TciSimSessionQuirks, EchoSendsEachCommandBackBeforeItsReply)
{
    TCI_SIM_OPTIONS o = small_options();
    o.echo = true;
    Sim sim(o);
    EXPECT_EQ(sim.texts("cw_macros_speed;audio_stream_channels:1;"),
              (Texts{"cw_macros_speed;", "cw_macros_speed:25;", "audio_stream_channels:1;"}));
}

TEST(TciSimSessionQuirks, ChattyGreetsWithReadyAndReportsStateUnasked)
{
    TCI_SIM_OPTIONS o = small_options();
    o.chatty = true;
    Sim sim(o);
    TCI_SIM_OUTPUT greeting;
    sim.session.open(0.0, &greeting);
    const Texts hello = Sim::text_of(greeting);
    ASSERT_FALSE(hello.empty());
    EXPECT_EQ(hello.back(), "ready;");
    EXPECT_TRUE(Sim::text_of(sim.tick(1.9)).empty());
    const Texts later = Sim::text_of(sim.tick(2.0));
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].rfind("vfo:0,0,7025000;modulation:0,cw;", 0), 0u) << later[0];
}

TEST(TciSimSessionFaults, StallSendsNothingThenGoesOnWithoutABurst)
{
    TCI_SIM_OPTIONS o = small_options();
    o.stallAfterSeconds = 1.0;
    o.stallForSeconds = 2.0;
    Sim sim(o);
    sim.texts("audio_start:0;", 0.0);
    EXPECT_EQ(Sim::frames_of(sim.tick(0.99)).size(), 19u);
    EXPECT_TRUE(sim.tick(1.5).messages.empty());
    EXPECT_TRUE(sim.texts("trx_count;", 2.0).empty());
    EXPECT_TRUE(sim.tick(2.99).messages.empty());
    EXPECT_TRUE(sim.tick(3.0).messages.empty());  // the stall is over: counting starts again
    EXPECT_EQ(Sim::frames_of(sim.tick(3.1)).size(), 2u);
    EXPECT_EQ(sim.texts("trx_count;", 3.1), (Texts{"trx_count:1;"}));
}

TEST(TciSimSessionFaults, CloseAfterAbortsOnce)
{
    TCI_SIM_OPTIONS o = small_options();
    o.closeAfterSeconds = 0.5;
    Sim sim(o);
    EXPECT_FALSE(sim.tick(0.49).abort);
    EXPECT_TRUE(sim.tick(0.5).abort);
    EXPECT_FALSE(sim.tick(0.6).abort);
}

TEST(TciSimSessionFaults, MalformedFramesGoBetweenGoodOnes)
{
    TCI_SIM_OPTIONS o = small_options();
    o.malformedEvery = 2;
    Sim sim(o);
    sim.texts("audio_start:0;");
    size_t usable = 0, other = 0;
    for (const auto& f : Sim::frames_of(sim.tick(1.0)))
        (parseStreamInfoFromData(f.data(), f.size()).isRxAudioFloat32 ? usable : other)++;
    EXPECT_EQ(usable, 20u);
    EXPECT_EQ(other, 10u);
}
