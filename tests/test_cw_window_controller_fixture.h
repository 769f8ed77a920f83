// The main window on the offscreen platform, with its settings in a
// temporary INI file, its folders in a temporary folder and, when a test
// wants one, the TCI simulator on a free loopback port.
#pragma once

#include "qt_wait.h"
#include "CWQSettingsStore.h"
#include "CWWindowController.h"
#include "TCIStreamInfo.h"
#include "tci_sim_server.h"
#include "tci_stream_frame.h"
#include "wav_file.h"

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace cw_window_test {

using qt_wait::settle;
using qt_wait::until;

// A float recording; the right channel of a stereo one is silent.
inline std::shared_ptr<const WAV_AUDIO> float_wav(const std::vector<float>& mono, uint32_t rate, bool stereo = false)
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

// One frame of interleaved samples through the client's two callbacks;
// `cut` bytes short when a test wants it malformed.
inline void deliver_frame(CWWindowController* controller, const std::vector<float>& interleaved, uint32_t rate,
                          uint32_t channels, size_t cut = 0)
{
    TCI_STREAM_FRAME_HEADER header{0, rate, TCI_SAMPLE_FLOAT32, 0, 0, 0, kTCIStreamTypeRxAudio, channels};
    std::vector<uint8_t> frame;
    ASSERT_TRUE(tci_build_stream_frame(header, interleaved.data(), interleaved.size(), &frame));
    frame.resize(frame.size() - cut);
    const TCIStreamInfo info = parseStreamInfoFromData(frame.data(), frame.size());
    controller->tciClientDidReceiveBinaryMessageWithLength(nullptr, frame.size(), info);
    if (info.isRxAudioFloat32)
        controller->tciClientDidReceiveRxAudioFrameData(nullptr, frame.data(), frame.size(), info);
    else if (tci_stream_rate_missing(info))
        controller->tciClientDidReceiveRateZeroAudioFrameData(nullptr, frame.data(), frame.size(), info);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "test_cw_window_controller";
        static char* argv[] = {name, nullptr};
        if (!qApp) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QStandardPaths::setTestModeEnabled(true);
            new QApplication(argc, argv);
        }
        alarm(60);  // a hung test is killed rather than left to block the run
        ASSERT_TRUE(folder.isValid());
        settings = std::make_unique<QSettings>(folder.filePath("zarvo.ini"), QSettings::IniFormat);
        store = std::make_unique<CWQSettingsStore>(*settings);
    }
    void TearDown() override
    {
        controller.reset();
        settle(100);  // lets closes under way finish
        server.reset();
        alarm(0);
    }

    CWWindowController& makeWindow(CW_WINDOW_ENVIRONMENT environment = {})
    {
        if (environment.documentsFolder.isEmpty())
            environment.documentsFolder = documents();
        environment.alert = [this](const std::string& message) { alerts.push_back(message); };
        // No cluster feed unless a test asks for one: windows of tests run
        // side by side would compete for its port.
        if (environment.clusterPort < 0)
            environment.clusterPort = 0;
        controller = std::make_unique<CWWindowController>(*store, environment);
        return *controller;
    }
    QString documents() const { return folder.filePath("Documents"); }

    // The simulator streaming `wav` (or its ramp) in frames of 40 ms.
    void startServer(std::shared_ptr<const WAV_AUDIO> wav = nullptr)
    {
        TCI_SIM_OPTIONS options;
        options.port = 0;
        options.source = wav ? TCI_SIM_SOURCE::Wav : TCI_SIM_SOURCE::Ramp;
        options.sampleRate = wav ? wav->sampleRate : 8000;
        options.rateGiven = true;
        options.frameSamples = options.sampleRate / 25;
        options.stereo = wav && wav->channels == 2;
        options.malformedEvery = malformedEvery;
        options.garbageEvery = garbageEvery;
        options.longTextEvery = longTextEvery;
        options.floodPerFrame = floodPerFrame;
        server = std::make_unique<TciSimServer>(options, std::move(wav),
                                                [this](const std::string& line) { serverLog.push_back(line); });
        std::string error;
        ASSERT_TRUE(server->listen(&error)) << error;
    }
    void connect() const
    {
        type("portField", QString::number(server->port()));
        control<QPushButton>("connectButton")->click();
    }

    template <typename Control = QWidget>
    Control* control(const QString& name) const
    {
        Control* found = controller->window()->findChild<Control*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    std::string text(const QString& field) const { return control<QLineEdit>(field)->text().toStdString(); }
    void type(const QString& field, const QString& value) const { control<QLineEdit>(field)->setText(value); }
    std::string stored(const char* key) const { return settings->value(key).toString().toStdString(); }
    std::string pane(const char* name) const { return control<QPlainTextEdit>(name)->toPlainText().toStdString(); }

    std::vector<std::string> logLines() const
    {
        std::vector<std::string> lines;
        std::stringstream all(pane("logTextView"));
        for (std::string line; std::getline(all, line);)
            lines.push_back(line);
        return lines;
    }
    size_t logCount(const std::string& prefix) const
    {
        const std::vector<std::string> lines = logLines();
        return static_cast<size_t>(
            std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }

    QTemporaryDir folder;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<CWQSettingsStore> store;
    std::unique_ptr<CWWindowController> controller;
    std::vector<std::string> alerts;
    std::unique_ptr<TciSimServer> server;
    std::vector<std::string> serverLog;
    uint32_t malformedEvery = 0;  // the simulator's faults
    uint32_t garbageEvery = 0;
    uint32_t longTextEvery = 0;
    uint32_t floodPerFrame = 0;
};

}  // namespace cw_window_test
