// One client's session with the simulated server: replies, settings, the
// stream, keyed macros and the faults it can be told to show.
#include "tci_sim_session.h"

#include "TCIStreamInfo.h"
#include "tci_keying_reader.h"
#include "tci_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

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

// Frequency of the first station line of an IQ truth file, 0 without one.
double first_truth_frequency(const std::string& path)
{
    std::ifstream in(path);
    std::string header, call;
    double hz = 0.0;
    std::getline(in, header);
    in >> call >> hz;
    return hz;
}

}  // namespace

// A client learns the frequency, the mode and the speed before it asks
// anything, and "ready;" comes last. Start-up queries are answered in
// order, settings are not; settings change what later queries report and
// bad ones change nothing but are logged.
TEST(TciSimSession, GreetingQueriesAndSettings)
{
    Sim sim;
    const Texts greeting = sim.open().texts();
    ASSERT_FALSE(greeting.empty());
    EXPECT_EQ(greeting.back(), "ready;");
    TCI_RADIO_STATE radio;
    std::optional<double> wpm;
    for (const std::string& text : greeting)
        if (const auto speed = tci_state_apply_message(&radio, text).txWpm)
            wpm = speed;
    EXPECT_TRUE(radio.frequencyHz == 7025000.0 && radio.mode == "CW" && wpm == 25.0);

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

// A stall sends nothing, not even replies, then the stream goes on without
// a burst. An echoing server repeats each command before its reply.
TEST(TciSimSession, AStallSendsNothingThenGoesOnWithoutABurstAndAnEchoPrecedesEachReply)
{
    TCI_SIM_OPTIONS o = small_options();
    o.stallAfterSeconds = 1.0, o.stallForSeconds = 2.0, o.echo = true;
    Sim sim(o);
    EXPECT_EQ(sim.receive("audio_start:0;", 0.0).tick(0.99).frames().size(), 19u);
    EXPECT_TRUE(sim.tick(1.5).out.messages.empty() && sim.receive("trx_count;", 2.0).texts().empty());
    EXPECT_TRUE(sim.tick(2.99).out.messages.empty());
    EXPECT_TRUE(sim.tick(3.0).out.messages.empty());  // the stall is over: counting starts again
    EXPECT_EQ(sim.tick(3.1).frames().size(), 2u);
    EXPECT_EQ(sim.receive("cw_macros_speed;audio_stream_channels:1;", 3.1).texts(),
              (Texts{"cw_macros_speed;", "cw_macros_speed:25;", "audio_stream_channels:1;"}));
}

// The IQ rate is reported after every request, taken or not, and the IF
// limits follow a new one; IQ flows from "iq_start:0;" to "iq_stop:0;"
// beside the audio, and a start for a receiver the radio lacks is answered
// with a stop. The band is centred on the DDS frequency the radio reports:
// the truth file gives each station at that frequency plus its offset, and
// is written again when the frequency moves.
TEST(TciSimSession, IqIsAnsweredWithItsStateAndStreamsFromStartToStop)
{
    TCI_SIM_OPTIONS o = small_options();
    o.iqStations = 4, o.iqTruthPath = testing::TempDir() + "tci_sim_session_truth.txt";
    std::remove(o.iqTruthPath.c_str());
    Sim sim(o);
    EXPECT_EQ(sim.receive("iq_samplerate;").texts(), (Texts{"iq_samplerate:48000;"}));
    EXPECT_EQ(sim.receive("iq_samplerate:96000;").texts(), (Texts{"iq_samplerate:96000;", "if_limits:-48000,48000;"}));
    EXPECT_EQ(sim.receive("iq_samplerate:96000;").texts(), (Texts{"iq_samplerate:96000;"}));
    for (const char* refused : {"iq_samplerate:44100;", "iq_samplerate:384000;", "iq_samplerate:fast;"})
        EXPECT_EQ(sim.receive(refused).texts(), (Texts{"iq_samplerate:96000;"})) << refused;
    TCI_RADIO_STATE radio;
    EXPECT_EQ(tci_state_apply_message(&radio, sim.out.messages.back().text).iqSampleRate, 96000u);

    const Texts started = sim.receive("iq_start:0;audio_start:0;", 1.0).texts();
    EXPECT_EQ(started, (Texts{"iq_start:0;"}));
    const std::vector<TCI_IQ_SWITCH> switches = tci_state_apply_message(&radio, started[0]).iqSwitches;
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_TRUE(switches[0].receiver == 0 && switches[0].running && sim.session.streamingIq());
    const std::vector<MORSE_BAND_STATION> stations = sim.session.iqStations();
    ASSERT_EQ(stations.size(), 4u);
    EXPECT_NEAR(first_truth_frequency(o.iqTruthPath), 7025000.0 + stations[0].frequencyHz, 0.1);
    // The frame layout is TciSimIq's own (test_tci_sim_iq); here the session's rate reaches it.
    const std::vector<TCIStreamInfo> frames = sim.tick(2.0).frames();
    const auto count = [&](auto is) { return std::ranges::count_if(frames, is); };
    EXPECT_EQ(count([](const TCIStreamInfo& f) { return f.isIQFloat32 && f.sampleRate == 96000u; }), 46);  // 46.9
    EXPECT_EQ(count([](const TCIStreamInfo& f) { return f.isRxAudioFloat32; }), 20);
    EXPECT_TRUE(sim.receive("vfo:0,0,14025000;", 2.0).logged("iq truth: 4 stations around 14025000 Hz"));
    EXPECT_NEAR(first_truth_frequency(o.iqTruthPath), 14025000.0 + stations[0].frequencyHz, 0.1);
    EXPECT_EQ(sim.receive("dds:0;").texts(), (Texts{"dds:0,14025000;"}));

    EXPECT_EQ(sim.receive("iq_start:1;", 2.0).texts(), (Texts{"iq_stop:1;"}));
    EXPECT_TRUE(sim.logged("there is no receiver 1") && sim.session.streamingIq());
    EXPECT_EQ(sim.receive("iq_stop:0;", 2.0).texts(), (Texts{"iq_stop:0;"}));
    EXPECT_TRUE(sim.logged("iq stopped after 46 frames") && !sim.session.streamingIq());
    for (const TCIStreamInfo& f : sim.tick(3.0).frames())
        EXPECT_NE(f.type, kTCIStreamTypeIQ);
    EXPECT_TRUE(sim.receive("iq_start;").texts().empty() && sim.logged("wants a receiver"));
}

// Spot commands get no reply; each change is one log line and a malformed
// command changes nothing.
TEST(TciSimSession, SpotsAreKeptDeletedAndClearedAndEachChangeIsLogged)
{
    Sim sim;
    EXPECT_TRUE(sim.receive("spot:DL2QZA,cw,7025300,4294901760,24 WPM 18 dB CQ;").texts().empty());
    EXPECT_TRUE(sim.logged("spot DL2QZA 7025300 cw FFFF0000 24 WPM 18 dB CQ"));
    sim.receive("spot:G4ABC,cw,7026100,4278255360,31 WPM 9 dB;");
    ASSERT_EQ(sim.session.spots().size(), 2u);
    for (const char* bad :
         {"spot:DL2QZA,cw,7025300;", "spot:DL2QZA,cw,7.0253,4294901760,x;", "spot:K1-X,cw,7025300,4294901760,x;",
          "spot:K1X,cw,7025300,4294901760,a,b;", "spot_delete;", "spot_delete:A,B;", "spot_clear:all;"})
        EXPECT_TRUE(sim.receive(bad).texts().empty() && sim.session.spots().size() == 2u && sim.logged("ignored spot"))
            << bad;
    EXPECT_TRUE(sim.receive("spot_delete:DL2QZA;").texts().empty() && sim.logged("spot_delete DL2QZA"));
    ASSERT_EQ(sim.session.spots().size(), 1u);
    EXPECT_EQ(sim.session.spots()[0].call, "G4ABC");
    EXPECT_TRUE(sim.receive("spot_delete:K1XYZ;").logged("spot_delete K1XYZ: no such spot"));
    EXPECT_TRUE(sim.receive("spot:K1XYZ,cw,7027000,0,;spot_clear;").logged("spot_clear 2 spots"));
    EXPECT_TRUE(sim.session.spots().empty());
}

// As an operator clicking what the client put up: once, the newest spot,
// the given time after the first spot came; the older form as well when
// asked for.
TEST(TciSimSession, TheNewestSpotIsClickedAfterTheDelay)
{
    TCI_SIM_OPTIONS o = small_options();
    o.clickSpotSeconds = 2.0, o.oldClicks = true;
    Sim sim(o);
    EXPECT_TRUE(sim.tick(5.0).texts().empty());
    sim.receive("spot:DL2QZA,cw,7025300,4294901760,CQ;", 10.0);
    sim.receive("spot:G4ABC,cw,7026100,4294901760,CQ;spot:EA8XY,cw,7024000,4294901760,CQ;", 11.0);
    sim.receive("spot_delete:EA8XY;", 11.5);
    EXPECT_TRUE(sim.tick(11.99).texts().empty());
    const Texts clicks = sim.tick(12.0).texts();
    EXPECT_EQ(clicks, (Texts{"rx_clicked_on_spot:0,0,G4ABC,7026100;", "clicked_on_spot:G4ABC,7026100;"}));
    TCI_RADIO_STATE radio;
    std::vector<TCI_SPOT_CLICK> seen;
    for (const std::string& text : clicks)
        for (const TCI_SPOT_CLICK& click : tci_state_apply_message(&radio, text).spotClicks)
            seen.push_back(click);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].call == "G4ABC" && seen[0].frequencyHz == 7026100.0 && seen[0].receiver == 0);
    EXPECT_TRUE(seen[1].call == "G4ABC" && seen[1].frequencyHz == 7026100.0 && seen[1].receiver == -1);
    EXPECT_TRUE(sim.tick(20.0).texts().empty());

    o.oldClicks = false;
    Sim newer(o);
    newer.receive("spot:DL2QZA,cw,7025300,4294901760,CQ;", 1.0);
    EXPECT_EQ(newer.tick(3.5).texts(), (Texts{"rx_clicked_on_spot:0,0,DL2QZA,7025300;"}));
    Sim never;
    never.receive("spot:DL2QZA,cw,7025300,4294901760,CQ;", 1.0);
    EXPECT_TRUE(never.tick(100.0).texts().empty());
}
