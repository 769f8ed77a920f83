// "Save WAV": frames handed to the window as the client would, the file read
// back from a temporary Desktop folder.
#include "test_cw_window_controller_fixture.h"
#include "test_cw_window_controller_frames.h"

#include "TCIStreamInfo.h"
#include "tci_stream_frame.h"
#include "wav_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstring>

using namespace cw_window_test;

namespace {

class WindowCaptureTest : public WindowTest {
protected:
    CWWindowController& makeCapturingWindow(const QString& desktop)
    {
        QDir().mkpath(this->desktop());
        CW_WINDOW_ENVIRONMENT environment;
        environment.desktopFolder = desktop;
        environment.localTime = [] { return local_time(2026, 1, 5, 21, 30, 15); };
        environment.alert = [this](const std::string& message) { alerts.push_back(message); };
        return makeWindow(environment);
    }
    QString desktop() const { return folder.filePath("Desktop"); }

    void deliver(const std::vector<float>& interleaved, uint32_t rate, uint32_t channels, size_t cut = 0)
    {
        deliver_frame(controller.get(), interleaved, rate, channels, cut);
    }

    // `seconds` of a slow ramp in frames of 2048.
    void deliverSeconds(double seconds, uint32_t rate)
    {
        const size_t total = static_cast<size_t>(std::llround(seconds * rate));
        for (size_t done = 0; done < total;) {
            const size_t n = std::min<size_t>(2048, total - done);
            std::vector<float> samples(n);
            for (size_t i = 0; i < n; ++i)
                samples[i] = static_cast<float>((done + i) % 1000) / 1000.0f;
            deliver(samples, rate, 1);
            done += n;
        }
    }
    WAV_AUDIO readBack(const QString& path) const
    {
        WAV_AUDIO audio;
        std::string error;
        EXPECT_TRUE(wav_read_file(path.toStdString(), &audio, &error)) << error;
        return audio;
    }
    QStringList savedFiles() const { return QDir(desktop()).entryList({"*.wav"}, QDir::Files, QDir::Name); }

    std::vector<std::string> alerts;
};

TEST_F(WindowCaptureTest, SavesTenSecondsAsSixteenBitMonoWithItsName)
{
    makeCapturingWindow(desktop());
    deliverSeconds(10.0, 48000);
    controller->saveWavClicked();
    const QString path = QDir(desktop()).filePath("Zarvo-rx-20260105-213015-48000Hz.wav");
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 44 + 960000);
    EXPECT_EQ(logCount("Saved 10.0 s RX WAV: " + path.toStdString()), 1u);
    const WAV_AUDIO audio = readBack(path);
    EXPECT_EQ(audio.channels, 1);
    EXPECT_EQ(audio.sampleRate, 48000u);
    EXPECT_EQ(audio.bitsPerSample, 16);
    EXPECT_EQ(audio.formatTag, WAV_TAG_PCM);
    ASSERT_EQ(audio.samples.size(), 480000u);
    EXPECT_NEAR(audio.samples[1234], 0.234f, 1e-4f);
    EXPECT_NEAR(audio.samples.back(), 0.999f, 1e-4f);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.read(44);
    uint32_t riff = 0;
    uint32_t data = 0;
    std::memcpy(&riff, bytes.constData() + 4, 4);
    std::memcpy(&data, bytes.constData() + 40, 4);
    EXPECT_EQ(riff, 960036u);
    EXPECT_EQ(data, 960000u);
}

TEST_F(WindowCaptureTest, KeepsTheChannelZeroSamplesClippedAndRounded)
{
    makeCapturingWindow(desktop());
    deliver({1.5f, 0.1f, -2.0f, 0.1f, 0.5f, 0.1f, NAN, 0.1f, -0.5f, 0.1f}, 8000, 2);
    const std::vector<uint8_t> image = controller->wavDataFromCaptureBuffer();
    ASSERT_EQ(image.size(), 44u + 10u);
    int16_t values[5];
    std::memcpy(values, image.data() + 44, sizeof values);
    EXPECT_EQ(values[0], 32767);
    EXPECT_EQ(values[1], -32767);
    EXPECT_EQ(values[2], 16384);
    EXPECT_EQ(values[3], 0);
    EXPECT_EQ(values[4], -16384);
}

TEST_F(WindowCaptureTest, TwoSavesInOneSecondKeepBothFiles)
{
    makeCapturingWindow(desktop());
    deliverSeconds(0.5, 8000);
    controller->saveWavClicked();
    deliverSeconds(0.5, 8000);
    controller->saveWavClicked();
    ASSERT_EQ(savedFiles(), QStringList({"Zarvo-rx-20260105-213015-8000Hz-2.wav", "Zarvo-rx-20260105-213015-8000Hz.wav"}));
    EXPECT_EQ(readBack(QDir(desktop()).filePath(savedFiles()[1])).samples.size(), 4000u);
    EXPECT_EQ(readBack(QDir(desktop()).filePath(savedFiles()[0])).samples.size(), 8000u);
}

TEST_F(WindowCaptureTest, ARateChangeStartsTheCaptureAfresh)
{
    makeCapturingWindow(desktop());
    deliverSeconds(2.0, 48000);
    deliverSeconds(1.0, 24000);
    controller->saveWavClicked();
    ASSERT_EQ(savedFiles().size(), 1);
    const WAV_AUDIO audio = readBack(QDir(desktop()).filePath(savedFiles()[0]));
    EXPECT_EQ(audio.sampleRate, 24000u);
    EXPECT_EQ(audio.samples.size(), 24000u);
}

TEST_F(WindowCaptureTest, NothingCapturedIsSaidAndNoFileIsMade)
{
    makeCapturingWindow(desktop());
    controller->saveWavClicked();
    EXPECT_EQ(logCount("No RX audio captured yet."), 1u);
    EXPECT_TRUE(savedFiles().isEmpty());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(WindowCaptureTest, AShortPayloadOrAnUnusableRateIsNeverCaptured)
{
    makeCapturingWindow(desktop());
    deliver(std::vector<float>(1024, 0.5f), 48000, 1, 4);
    deliver(std::vector<float>(1024, 0.5f), 4000, 1);
    deliver(std::vector<float>(1024, 0.5f), 4000, 1);
    EXPECT_EQ(controller->captureRing().count, 0u);
    EXPECT_EQ(controller->audioFrameCounter(), 0u);
    EXPECT_EQ(logCount("RX audio ignored: unusable sample rate 4000 Hz"), 1u);
    EXPECT_EQ(logCount("RX audio active"), 0u);
}

TEST_F(WindowCaptureTest, AnUnwritableDesktopIsReportedNeverAsSuccess)
{
    const QString notAFolder = folder.filePath("plain-file");
    QFile plain(notAFolder);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    makeCapturingWindow(notAFolder);
    deliverSeconds(0.5, 8000);
    controller->saveWavClicked();
    EXPECT_EQ(logCount("Save WAV failed: "), 1u);
    EXPECT_EQ(logCount("Saved "), 0u);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Save WAV failed: ", 0), 0u);
    EXPECT_EQ(controller->captureRing().count, 4000u);
}

}  // namespace
