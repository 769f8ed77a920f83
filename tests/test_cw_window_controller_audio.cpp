// The receive-audio pipeline end to end: the simulator streams a generated
// recording over loopback and the window decodes it, on this thread's
// event loop.
#include "test_cw_window_controller_fixture.h"

#include "cw_text_panes.h"

#include "morse_audio_generator.h"
#include "text_metrics.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>

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

class WindowAudioTest : public WindowTest {
protected:
    void streamSentText(uint32_t rate, bool stereo)
    {
        startServer(float_wav(keyed(kSentText, rate, 600.0, 0.8), rate, stereo));
        makeWindow();
        connect();
    }
    std::string decoded() const
    {
        std::string text = control<QPlainTextEdit>("decodedTextView")->toPlainText().toStdString();
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    }
    bool decodedCleanly() const  // at most 5 % of the characters wrong
    {
        return text_metrics::levenshtein_best_substring(kSentText, decoded()) * 20 <= std::strlen(kSentText);
    }
    uint64_t frames() const { return controller->receiver().audioFrameCount(); }
};

struct STREAM_CASE {
    uint32_t rate;
    bool stereo;
};

void PrintTo(const STREAM_CASE& c, std::ostream* out)
{
    *out << c.rate << (c.stereo ? "Hz_stereo" : "Hz_mono");
}

class WindowStreamTest : public WindowAudioTest, public ::testing::WithParamInterface<STREAM_CASE> {};

// Both rates and both channel counts; 12000 Hz mono streams in the fault
// test below.
TEST_P(WindowStreamTest, DecodesTheRecordingAndFeedsTheViews)
{
    const auto [rate, stereo] = GetParam();
    streamSentText(rate, stereo);
    QElapsedTimer streaming;
    streaming.start();
    EXPECT_TRUE(until([&] { return decodedCleanly(); }, 20000)) << "decoded: " << decoded();
    const double seconds = streaming.elapsed() / 1000.0;
    const std::string channels = stereo ? "2 channels" : "1 channel";
    EXPECT_EQ(logCount("RX audio active: " + std::to_string(rate) + " Hz, float32, " + channels), 1u);
    EXPECT_GT(control<CWToneTraceView>("toneTraceView")->history().size(), 10u);
    EXPECT_NEAR(control<CWSpectrumView>("spectrumView")->spectrum().peakHz, 600.0, 25.0);
    EXPECT_GT(controller->receiver().statusLineRefreshCount(), 1u);
    EXPECT_LE(controller->receiver().statusLineRefreshCount(), static_cast<uint64_t>(5.0 * seconds) + 1);
    const std::string status = control<QLabel>("statusLabel")->text().toStdString();
    EXPECT_EQ(status.rfind("RX " + std::to_string(rate) + " Hz  In ", 0), 0u) << status;
    // At the smallest window the line still fits, speed and lock word shown.
    controller->window()->resize(1120, 640);
    const auto* label = control<QLabel>("statusLabel");
    ASSERT_TRUE(until([&] { return label->text().toStdString() != status; }, 2000));
    const std::string narrow = label->text().toStdString();
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width()) << narrow;
    EXPECT_NE(narrow.find(" WPM  "), std::string::npos) << narrow;
    EXPECT_TRUE(narrow.ends_with("LOCK") || narrow.ends_with("TRACK") || narrow.ends_with("BAD")) << narrow;
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, WindowStreamTest,
                         ::testing::Values(STREAM_CASE{48000, false}, STREAM_CASE{12000, true}),
                         ::testing::PrintToStringParamName());

// Malformed frames, garbage text, 256 KiB text messages and floods of small
// ones: decoding goes on, the log pane stays bounded and Disconnect works.
TEST_F(WindowAudioTest, KeepsDecodingThroughMalformedFramesGarbageGiantTextsAndFloods)
{
    malformedEvery = 3;
    garbageEvery = 4;
    longTextEvery = 10;
    floodPerFrame = 20;
    streamSentText(12000, false);
    EXPECT_TRUE(until([&] { return decodedCleanly(); }, 20000)) << "decoded: " << decoded();
    // Never said again after a bad frame; the flood may have pushed the first out of the pane.
    EXPECT_LE(logCount("RX audio active: "), 1u);
    EXPECT_GE(logCount("<< xxxx"), 1u);
    EXPECT_LE(pane("logTextView").size(), kCWLogPaneMaxLines * (kCWLogLineMaxBytes + 24));
    control<QPushButton>("connectButton")->click();
    EXPECT_TRUE(until([&] { return !controller->settings().client().isConnected(); }, 1000));
}

// Frames straight into the controller: a short payload or an unusable rate
// never reaches the receiver; a frame whose header lost its rate is decoded
// at the stream's last rate, said once, rather than dropped with a hole in
// the keying. A frame brings the receiver its rate and nothing else: a pitch
// typed but not yet entered waits for the end of the edit, which keeps the
// stream's rate. AutoGTM's settings reach the tuner as they change.
TEST_F(WindowAudioTest, FramesBringOnlyAUsableRateAndSettingsApplyWhenEntered)
{
    makeWindow();
    const std::vector<float> block(480, 0.5f);
    deliver_frame(controller.get(), block, 48000, 1, 4);
    deliver_frame(controller.get(), block, 4000, 1);
    deliver_frame(controller.get(), block, 4000, 1);
    deliver_frame(controller.get(), block, 0, 1);  // no rate known yet: nothing
    EXPECT_EQ(controller->capture().ring().count, 0u);
    EXPECT_EQ(frames(), 0u);
    EXPECT_EQ(logCount("RX audio ignored: unusable sample rate 4000 Hz"), 1u);
    EXPECT_EQ(logCount("RX audio active"), 0u);

    type("pitchField", "650");
    for (uint32_t rate : {12000u, 0u, 0u})
        deliver_frame(controller.get(), block, rate, 1);
    EXPECT_EQ(frames(), 3u);
    EXPECT_EQ(controller->capture().ring().count, 3u * 480u);
    EXPECT_EQ(logCount("RX audio: frames with rate 0 are decoded at 12000 Hz"), 1u);
    EXPECT_EQ(logCount("RX audio ignored"), 1u);
    const CW_RX_CONFIG& config = controller->receiver().receiverConfig();
    EXPECT_EQ(config.sampleRate, 12000.0);
    EXPECT_EQ(config.pitchHz, 600.0);
    controller->controlTextDidEndEditing(control("pitchField"));
    EXPECT_EQ(config.pitchHz, 650.0);
    EXPECT_EQ(config.sampleRate, 12000.0);

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

// The retune at a signal's onset must not land on the smoothed peak of the
// signal before: either it stays put or it finds the new tone.
TEST_F(WindowAudioTest, AutoGtmNeverTunesToAStalePeak)
{
    std::vector<float> audio = keyed("TEST TEST TEST", 12000, 700.0, 3.0);
    const std::vector<float> next = keyed("CQ CQ CQ CQ CQ", 12000, 780.0, 0.5);
    audio.insert(audio.end(), next.begin(), next.end());
    startServer(float_wav(audio, 12000));
    makeWindow();
    type("pitchField", "700");
    control<QCheckBox>("autoCenterButton")->click();
    connect();
    ASSERT_TRUE(until([&] { return frames() >= audio.size() / 480; }, 30000));
    const double pitch = controller->settings().pitchHzValue();
    const double peak = control<CWSpectrumView>("spectrumView")->spectrum().peakHz;
    EXPECT_TRUE(pitch == 700.0 || std::fabs(pitch - 780.0) <= 5.0) << pitch << " Hz, peak " << peak;
    EXPECT_NEAR(peak, 780.0, 10.0);
}

}  // namespace
