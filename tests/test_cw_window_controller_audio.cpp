// The receive-audio pipeline end to end: the simulator streams a generated
// recording over loopback and the window decodes it, on this thread's
// event loop.
#include "test_cw_window_controller_fixture.h"

#include "morse_audio_generator.h"
#include "tci_sim_server.h"
#include "text_metrics.h"
#include "wav_file.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <cmath>
#include <cstring>

using namespace cw_window_test;

namespace {

constexpr const char* kSentText = "CQ DE DL1ABC K";

std::vector<float> keyed(const char* text, uint32_t rate, double pitchHz, double tailSeconds)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = 28.0;
    config.pitchHz = pitchHz;
    config.sampleRateHz = rate;
    config.leadSeconds = 0.3;
    config.tailSeconds = tailSeconds;
    std::vector<float> mono;
    std::string error;
    EXPECT_TRUE(morse_audio_generate(config, text, &mono, nullptr, &error)) << error;
    return mono;
}

// A float recording; the right channel of a stereo one is silent and must
// not matter.
std::shared_ptr<const WAV_AUDIO> recording(const std::vector<float>& mono, uint32_t rate, bool stereo = false)
{
    auto wav = std::make_shared<WAV_AUDIO>();
    wav->channels = stereo ? 2 : 1;
    wav->sampleRate = rate;
    wav->formatTag = WAV_TAG_IEEE_FLOAT;
    wav->bitsPerSample = 32;
    for (float s : mono) {
        wav->samples.push_back(s);
        if (stereo)
            wav->samples.push_back(0.0f);
    }
    return wav;
}

struct STREAM_CASE {
    uint32_t rate;
    bool stereo;
};

class WindowAudioTest : public WindowTest {
protected:
    void TearDown() override
    {
        WindowTest::TearDown();
        server.reset();
    }

    void startServer(TCI_SIM_OPTIONS options, std::shared_ptr<const WAV_AUDIO> wav)
    {
        options.host = "127.0.0.1";
        options.port = 0;
        server = std::make_unique<TciSimServer>(options, std::move(wav), [](const std::string&) {});
        std::string error;
        ASSERT_TRUE(server->listen(&error)) << error;
    }
    void startRecording(uint32_t rate, bool stereo, uint32_t malformedEvery = 0, uint32_t garbageEvery = 0)
    {
        TCI_SIM_OPTIONS options;
        options.source = TCI_SIM_SOURCE::Wav;
        options.sampleRate = rate;
        options.rateGiven = true;
        options.frameSamples = rate / 25;
        options.stereo = stereo;
        options.malformedEvery = malformedEvery;
        options.garbageEvery = garbageEvery;
        startServer(options, recording(keyed(kSentText, rate, 600.0, 0.8), rate, stereo));
    }
    void connect()
    {
        makeWindow();
        type("portField", QString::number(server->port()));
        control<QPushButton>("connectButton")->click();
    }
    std::string decoded() const
    {
        std::string text = control<QPlainTextEdit>("decodedTextView")->toPlainText().toStdString();
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    }
    bool decodedCleanly() const
    {
        // At most 5 % of the characters may be wrong.
        return text_metrics::levenshtein_best_substring(kSentText, decoded()) * 20 <= std::strlen(kSentText);
    }

    std::unique_ptr<TciSimServer> server;
};

class WindowStreamTest : public WindowAudioTest, public ::testing::WithParamInterface<STREAM_CASE> {};

TEST_P(WindowStreamTest, DecodesTheRecordingAndFeedsTheViews)
{
    startRecording(GetParam().rate, GetParam().stereo);
    connect();
    QElapsedTimer streaming;
    streaming.start();
    EXPECT_TRUE(until([&] { return decodedCleanly(); }, 20000)) << "decoded: " << decoded();
    const double seconds = streaming.elapsed() / 1000.0;
    const std::string channels = GetParam().stereo ? "2 channels" : "1 channel";
    EXPECT_EQ(logCount("RX audio active: " + std::to_string(GetParam().rate) + " Hz, float32, " + channels), 1u);
    EXPECT_GT(control<CWToneTraceView>("toneTraceView")->history().size(), 10u);
    EXPECT_NEAR(control<CWSpectrumView>("spectrumView")->spectrum().peakHz, 600.0, 25.0);
    EXPECT_GT(controller->receiver().statusLineRefreshCount(), 1u);
    EXPECT_LE(controller->receiver().statusLineRefreshCount(), static_cast<uint64_t>(5.0 * seconds) + 1);
    const std::string status = control<QLabel>("statusLabel")->text().toStdString();
    EXPECT_EQ(status.rfind("RX " + std::to_string(GetParam().rate) + " Hz  In ", 0), 0u) << status;
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, WindowStreamTest,
                         ::testing::Values(STREAM_CASE{48000, false}, STREAM_CASE{12000, true},
                                           STREAM_CASE{12000, false}, STREAM_CASE{48000, true}));

TEST_F(WindowAudioTest, KeepsDecodingBetweenMalformedFramesAndGarbageText)
{
    startRecording(12000, false, 3, 4);
    connect();
    EXPECT_TRUE(until([&] { return decodedCleanly(); }, 20000)) << "decoded: " << decoded();
    EXPECT_EQ(logCount("RX audio active: "), 1u);
}

TEST_F(WindowAudioTest, TheFirstFrameOfEachConnectionIsLoggedOnce)
{
    TCI_SIM_OPTIONS options;
    options.source = TCI_SIM_SOURCE::Ramp;
    options.sampleRate = 8000;
    options.frameSamples = 160;
    startServer(options, nullptr);
    connect();
    ASSERT_TRUE(until([&] { return controller->receiver().audioFrameCount() > 5; }, 3000));
    QPushButton* button = control<QPushButton>("connectButton");
    button->click();
    ASSERT_TRUE(until([&] { return !controller->settings().client().isConnected(); }, 3000));
    button->click();
    ASSERT_TRUE(until([&] { return controller->receiver().audioFrameCount() > 5; }, 3000));
    EXPECT_EQ(logCount("RX audio active: 8000 Hz, float32, 1 channel"), 2u);
}

// The retune at a signal's onset must not land on the smoothed peak of the
// signal before: either it stays put or it finds the new tone.
TEST_F(WindowAudioTest, AutoGtmNeverTunesToAStalePeak)
{
    std::vector<float> audio = keyed("TEST TEST TEST", 12000, 700.0, 3.0);
    const std::vector<float> next = keyed("CQ CQ CQ CQ CQ", 12000, 780.0, 0.5);
    audio.insert(audio.end(), next.begin(), next.end());
    TCI_SIM_OPTIONS options;
    options.source = TCI_SIM_SOURCE::Wav;
    options.sampleRate = 12000;
    options.rateGiven = true;
    options.frameSamples = 480;
    startServer(options, recording(audio, 12000));
    makeWindow();
    type("pitchField", "700");
    control<QCheckBox>("autoCenterButton")->click();
    type("portField", QString::number(server->port()));
    control<QPushButton>("connectButton")->click();
    ASSERT_TRUE(until([&] { return controller->receiver().audioFrameCount() >= audio.size() / 480; }, 30000));
    const double pitch = controller->settings().pitchHzValue();
    const double peak = control<CWSpectrumView>("spectrumView")->spectrum().peakHz;
    EXPECT_TRUE(pitch == 700.0 || std::fabs(pitch - 780.0) <= 5.0) << pitch << " Hz, peak " << peak;
    EXPECT_NEAR(peak, 780.0, 10.0);
}

// AutoGTM's settings reach the tuner as they change: ticked, an edit ended,
// the defaults restored.
TEST_F(WindowAudioTest, AutoGtmSettingsReachTheTunerWhenTheyChange)
{
    makeWindow();
    const CW_TUNER_CONFIG& tuning = controller->receiver().tuning();
    EXPECT_EQ(tuning.autoGtm, 0);
    EXPECT_EQ(tuning.rearmSeconds, 2.5);
    control<QCheckBox>("autoCenterButton")->click();
    EXPECT_EQ(tuning.autoGtm, 1);
    type("autoGtmRearmField", "9");
    controller->controlTextDidEndEditing(control("autoGtmRearmField"));
    EXPECT_EQ(tuning.rearmSeconds, 5.0);
    control<QPushButton>("resetQOMDefaultsButton")->click();
    EXPECT_EQ(tuning.rearmSeconds, 2.5);
    EXPECT_EQ(tuning.autoGtm, 1);
}

TEST_F(WindowAudioTest, AShortPayloadOrAnUnusableRateNeverReachesTheReceiver)
{
    makeWindow();
    deliver_frame(controller.get(), std::vector<float>(1024, 0.5f), 48000, 1, 4);
    deliver_frame(controller.get(), std::vector<float>(1024, 0.5f), 4000, 1);
    deliver_frame(controller.get(), std::vector<float>(1024, 0.5f), 4000, 1);
    EXPECT_EQ(controller->capture().ring().count, 0u);
    EXPECT_EQ(controller->receiver().audioFrameCount(), 0u);
    EXPECT_EQ(logCount("RX audio ignored: unusable sample rate 4000 Hz"), 1u);
    EXPECT_EQ(logCount("RX audio active"), 0u);
}

}  // namespace
