// "Save WAV": receive audio captured at its rate and written to a temporary
// Desktop folder, read back as a player would.
#include "CWWavCapture.h"
#include "wav_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

class WavCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QDir().mkpath(desktop());
        make(desktop());
    }
    void make(const QString& desktopFolder)  // every save in 2026-01-05 21:30:15
    {
        std::tm t{};
        t.tm_year = 126, t.tm_mon = 0, t.tm_mday = 5, t.tm_hour = 21, t.tm_min = 30, t.tm_sec = 15;
        capture = std::make_unique<CWWavCapture>(
            desktopFolder, [t] { return t; }, [this](const std::string& line) { log.push_back(line); },
            [this](const std::string& message) { alerts.push_back(message); });
    }
    QString desktop() const { return folder.filePath("Desktop"); }
    // `seconds` of a slow ramp in blocks of 2048, as frames arrive.
    void append(double seconds, uint32_t rate)
    {
        const size_t total = static_cast<size_t>(std::llround(seconds * rate));
        std::vector<float> block;
        for (size_t done = 0; done < total; done += block.size()) {
            block.resize(std::min<size_t>(2048, total - done));
            for (size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<float>((done + i) % 1000) / 1000.0f;
            capture->append(block.data(), block.size(), rate);
        }
    }
    WAV_AUDIO readBack(const QString& name) const
    {
        WAV_AUDIO audio;
        std::string error;
        EXPECT_TRUE(wav_read_file(QDir(desktop()).filePath(name).toStdString(), &audio, &error)) << error;
        return audio;
    }
    QStringList savedFiles() const { return QDir(desktop()).entryList({"*.wav"}, QDir::Files, QDir::Name); }

    QTemporaryDir folder;
    std::unique_ptr<CWWavCapture> capture;
    std::vector<std::string> log;
    std::vector<std::string> alerts;
};

TEST_F(WavCaptureTest, SavesTheCaptureAsSixteenBitMonoNamedByTimeAndRate)
{
    append(10.0, 48000);
    capture->save();
    const QString name = "Zarvo-rx-20260105-213015-48000Hz.wav";
    EXPECT_EQ(log, std::vector<std::string>{"Saved 10.0 s RX WAV: " + QDir(desktop()).filePath(name).toStdString()});
    const WAV_AUDIO audio = readBack(name);
    EXPECT_EQ(audio.channels, 1);
    EXPECT_EQ(audio.sampleRate, 48000u);
    EXPECT_EQ(audio.formatTag, WAV_TAG_PCM);
    EXPECT_EQ(audio.bitsPerSample, 16);
    ASSERT_EQ(audio.samples.size(), 480000u);
    EXPECT_NEAR(audio.samples[1234], 0.234f, 1e-4f);
    EXPECT_NEAR(audio.samples.back(), 0.999f, 1e-4f);
}

TEST_F(WavCaptureTest, ASecondSaveInTheSameSecondKeepsBothFilesAndANewRateStartsAfresh)
{
    append(0.5, 8000);
    capture->save();
    append(0.5, 8000);
    capture->save();
    append(1.0, 24000);
    capture->save();
    EXPECT_EQ(savedFiles(),
              QStringList({"Zarvo-rx-20260105-213015-24000Hz.wav", "Zarvo-rx-20260105-213015-8000Hz-2.wav",
                           "Zarvo-rx-20260105-213015-8000Hz.wav"}));
    EXPECT_EQ(readBack(savedFiles()[2]).samples.size(), 4000u);
    EXPECT_EQ(readBack(savedFiles()[1]).samples.size(), 8000u);
    EXPECT_EQ(readBack(savedFiles()[0]).samples.size(), 24000u);
}

TEST_F(WavCaptureTest, NothingToSaveOrAnUnwritableDesktopIsReportedNeverAsSuccess)
{
    const float samples[256] = {};
    capture->append(samples, 256, 4000);  // a rate the stream cannot carry
    capture->save();
    EXPECT_EQ(log, std::vector<std::string>{"No RX audio captured yet."});
    EXPECT_TRUE(alerts.empty());

    QFile plain(folder.filePath("plain-file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    make(plain.fileName());
    append(0.5, 8000);
    capture->save();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].rfind("Save WAV failed: ", 0), 0u) << log[1];
    EXPECT_EQ(alerts, std::vector<std::string>{log[1]});
    EXPECT_EQ(capture->ring().count, 4000u);  // kept for another try
    EXPECT_TRUE(savedFiles().isEmpty());
}

}  // namespace
