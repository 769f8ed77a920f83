// One client's session with the simulated server: replies, settings, the
// stream, keyed macros and the faults it can be told to show.
#include "tci_sim_session.h"

#include "TCIStreamInfo.h"
#include "tci_keying_reader.h"
#include "tci_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using Texts = std::vector<std::string>;

TCI_SIM_OPTIONS small_options()
{
    TCI_SIM_OPTIONS o;
    o.source = TCI_SIM_SOURCE::Ramp, o.sampleRate = 8000, o.frameSamples = 400;
    return o;
}

struct Sim {
    explicit Sim(const TCI_SIM_OPTIONS& o = small_options()) : session(o, nullptr) {}

    Sim& receive(const std::string& message, double now = 0.0)
    {
        return out = TCI_SIM_OUTPUT{}, session.receive(message, now, &out), *this;
    }
    Sim& open() { return out = TCI_SIM_OUTPUT{}, session.open(0.0, &out), *this; }
    Sim& tick(double now) { return out = TCI_SIM_OUTPUT{}, session.tick(now, &out), *this; }
    Texts texts() const
    {
        Texts t;
        for (const TCI_SIM_MESSAGE& m : out.messages)
            if (!m.binary)
                t.push_back(m.text);
        return t;
    }
    // The frames sent, parsed; the float samples of each go to *samples.
    std::vector<TCIStreamInfo> frames(std::vector<float>* samples = nullptr) const
    {
        std::vector<TCIStreamInfo> f;
        for (const TCI_SIM_MESSAGE& m : out.messages) {
            if (!m.binary)
                continue;
            f.push_back(parseStreamInfoFromData(m.bytes.data(), m.bytes.size()));
            if (samples && f.back().isRxAudioFloat32) {
                samples->resize(samples->size() + f.back().length);
                std::memcpy(samples->data() + samples->size() - f.back().length, m.bytes.data() + 64,
                            4 * f.back().length);
            }
        }
        return f;
    }
    bool logged(const std::string& part) const
    {
        return std::ranges::any_of(out.log, [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }

    TciSimSession session;
    TCI_SIM_OUTPUT out;  // of the last step
};

}  // namespace

// Start-up queries are answered in order, settings are not; settings change
// what later queries report and bad ones change nothing but are logged.
TEST(TciSimSession, QueriesAndSettings)
{
    Sim sim;
    Texts replies;
    for (const char* command : kTCIStartupCommands) {
        const Texts t = sim.receive(command).texts();
        replies.insert(replies.end(), t.begin(), t.end());
    }
    EXPECT_EQ(replies,
              (Texts{"protocol:ExpertSDR3,1.0;", "device:zarvo-tci-sim;", "trx_count:1;", "channels_count:1;",
                     "modulation:0,cw;", "cw_macros_speed:25;", "cw_keyer_speed:25;", "audio_stream_samples:400;"}));
    EXPECT_TRUE(sim.session.streaming());
    EXPECT_EQ(sim.receive("vfo:0,0;dds:0; cw_keyer_speed ;").texts(),
              (Texts{"vfo:0,0,7025000;", "dds:0,7025000;", "cw_keyer_speed:25;"}));

    EXPECT_TRUE(sim.receive("vfo:0,0,14025000;modulation:0,USB;cw_macros_speed:32;").texts().empty());
    for (const char* bad : {"cw_macros_speed:0;", "cw_macros_speed:abc;", "vfo:0,0,12;", "vfo:1,0;",
                            "audio_stream_channels:3;", "audio_stream_sample_type:float64;", "no_such_thing:1;"})
        EXPECT_TRUE(sim.receive(bad).texts().empty() && sim.out.log.size() >= 2u) << bad;  // the message and why
    EXPECT_EQ(sim.receive("cw_macros_speed;vfo:0,0;modulation:0;audio_stream_channels;").texts(),
              (Texts{"cw_macros_speed:32;", "vfo:0,0,14025000;", "modulation:0,usb;", "audio_stream_channels:1;"}));
}

TEST(TciSimSession, StreamRunsFromAudioStartToAudioStopInTheFormatAsked)
{
    Sim sim;
    EXPECT_TRUE(sim.tick(1.0).frames().empty());
    const std::vector<TCIStreamInfo> frames = sim.receive("audio_start:0;", 1.0).tick(2.0).frames();
    ASSERT_EQ(frames.size(), 20u);
    EXPECT_TRUE(frames[0].isRxAudioFloat32);
    EXPECT_TRUE(sim.receive("audio_stop:0;", 2.0).logged("audio stopped after 20 frames"));
    EXPECT_TRUE(sim.tick(3.0).frames().empty());
    sim.receive("audio_stream_sample_type:int16;audio_stream_channels:2;audio_stream_samples:100;audio_start:0;", 5.0);
    const std::vector<TCIStreamInfo> asked = sim.tick(5.125).frames();
    ASSERT_EQ(asked.size(), 10u);
    EXPECT_TRUE(asked[0].format == 0u && asked[0].channels == 2u && asked[0].frameCount == 100u);
}

// Macro text is keyed into the stream at the macro speed until stopped;
// macros for other receivers or without one are not keyed.
TEST(TciSimSession, MacroTextIsKeyedAtTheMacroSpeedUntilStopped)
{
    Sim sim;
    sim.receive("cw_terminal:false;cw_macros_speed:30;");
    EXPECT_TRUE(sim.receive("cw_macros:0,R~N;audio_start:0;").logged("keying at 30 WPM: R,N"));
    std::vector<float> audio;
    sim.tick(1.0).frames(&audio), sim.tick(1.5).frames(&audio);
    EXPECT_EQ(tci_keying::code(audio, 8000, 30), ".-. --..-- -.");
    EXPECT_TRUE(sim.receive("cw_macros:0,TEST TEST TEST;").session.keying());
    EXPECT_TRUE(sim.receive("cw_macros_stop;").logged("12 queued characters dropped") && !sim.session.keying());
    for (const char* other : {"cw_macros:1,TEST;", "cw_macros:TEST;"})
        EXPECT_FALSE(sim.receive(other).session.keying()) << other;
}

// A client learns the frequency, the mode and the speed before it asks
// anything, and "ready;" comes last.
TEST(TciSimSession, AClientIsGreetedWithTheRadiosStateThenReady)
{
    const Texts greeting = Sim().open().texts();
    ASSERT_FALSE(greeting.empty());
    EXPECT_EQ(greeting.back(), "ready;");
    TCI_RADIO_STATE radio;
    std::optional<double> wpm;
    for (const std::string& text : greeting)
        if (const auto speed = tci_state_apply_message(&radio, text).txWpm)
            wpm = speed;
    EXPECT_EQ(radio.frequencyHz, 7025000.0);
    EXPECT_EQ(radio.mode, "CW");
    EXPECT_EQ(wpm, 25.0);
}

TEST(TciSimSession, AnEchoingServerRepeatsEachCommandBeforeItsReply)
{
    TCI_SIM_OPTIONS o = small_options();
    o.echo = true;
    EXPECT_EQ(Sim(o).receive("cw_macros_speed;audio_stream_channels:1;").texts(),
              (Texts{"cw_macros_speed;", "cw_macros_speed:25;", "audio_stream_channels:1;"}));
}

// A stall sends nothing, not even replies, then the stream goes on without
// a burst.
TEST(TciSimSession, AStallSendsNothingThenTheStreamGoesOnWithoutABurst)
{
    TCI_SIM_OPTIONS o = small_options();
    o.stallAfterSeconds = 1.0;
    o.stallForSeconds = 2.0;
    Sim sim(o);
    EXPECT_EQ(sim.receive("audio_start:0;", 0.0).tick(0.99).frames().size(), 19u);
    EXPECT_TRUE(sim.tick(1.5).out.messages.empty() && sim.receive("trx_count;", 2.0).texts().empty());
    EXPECT_TRUE(sim.tick(2.99).out.messages.empty());
    EXPECT_TRUE(sim.tick(3.0).out.messages.empty());  // the stall is over: counting starts again
    EXPECT_EQ(sim.tick(3.1).frames().size(), 2u);
    EXPECT_EQ(sim.receive("trx_count;", 3.1).texts(), (Texts{"trx_count:1;"}));
}
