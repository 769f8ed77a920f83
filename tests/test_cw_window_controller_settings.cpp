// The settings fields and the link: start-up values, storing at Connect,
// the QOM defaults, the pitch and GotoMax; Connect and Disconnect against
// the simulator on loopback and what the window makes of the radio's
// messages.
#include "test_cw_window_controller_fixture.h"

#include "tci_commands.h"

#include <QCheckBox>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QTcpServer>

#include <cmath>

using namespace cw_window_test;

namespace {

class WindowSettingsTest : public WindowTest {
protected:
    bool checked(const char* name) const { return control<QCheckBox>(name)->isChecked(); }
    CW_RX_CONFIG config() const { return controller->settings().decoderConfig(48000); }
    std::string button() const { return control<QPushButton>("connectButton")->text().toStdString(); }
    std::string status() const { return control<QLabel>("statusLabel")->text().toStdString(); }
    std::string title() const { return controller->window()->windowTitle().toStdString(); }
    static bool has(const std::vector<std::string>& lines, const std::string& line)
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(WindowSettingsTest, DefaultsAreStoredClampedAtConnectAndShownByTheNextWindow)
{
    makeWindow();
    const std::pair<const char*, const char*> defaults[] = {
        {"hostField", "127.0.0.1"},   {"portField", "50001"},       {"pitchField", "600"}, {"bandwidthField", "120"},
        {"thresholdDisplay", "0.50"}, {"minWpmField", "10"},        {"maxWpmField", "60"}, {"qomSearchField", "15"},
        {"qomLockHoldField", "1.8"},  {"autoGtmRearmField", "2.5"}, {"txWpmField", "25"},  {"squelchField", "0.50"},
    };
    for (const auto& [name, value] : defaults)
        EXPECT_EQ(text(name), value) << name;
    EXPECT_FALSE(checked("autoCenterButton"));
    EXPECT_TRUE(checked("qomAgcButton"));
    EXPECT_TRUE(checked("shortRSTButton"));
    EXPECT_TRUE(settings->allKeys().isEmpty());  // nothing is written before Connect

    type("portField", "-5");
    type("pitchField", "2000");
    type("minWpmField", "70");
    type("maxWpmField", "20");
    type("autoGtmRearmField", "nan");
    control<QPushButton>("connectButton")->click();
    EXPECT_EQ(logCount("Connecting to ws://127.0.0.1:1"), 1u);
    EXPECT_EQ(settings->allKeys().size(), 14);
    EXPECT_EQ(stored("ZarvoPitch"), "1200");
    EXPECT_EQ(config().minWpm, 20);
    EXPECT_EQ(config().maxWpm, 70);
    controller.reset();
    makeWindow();
    EXPECT_EQ(text("pitchField"), "1200");
    EXPECT_EQ(text("autoGtmRearmField"), "1.0");
    EXPECT_EQ(text("portField"), "-5");
}

// A server given for this run is shown but not stored. A megabyte host name
// in the settings file reaches the field cut to the longest DNS name, so
// Connect has a host of bounded length to look up.
TEST_F(WindowSettingsTest, AServerGivenForThisRunIsNotStoredAndTheHostIsBounded)
{
    settings->setValue("ZarvoHost", QString(1 << 20, 'h'));
    settings->setValue("ZarvoPort", "40001");
    makeWindow();
    EXPECT_EQ(text("hostField"), std::string(253, 'h'));
    type("hostField", QString(300, 'x'));  // nor can one be typed or pasted
    EXPECT_EQ(text("hostField").size(), 253u);
    controller->useConnectionForThisRun("127.0.0.1", 50123);
    EXPECT_EQ(text("hostField"), "127.0.0.1");
    EXPECT_EQ(text("portField"), "50123");
    controller->controlTextDidEndEditing(nullptr);
    EXPECT_EQ(stored("ZarvoHost"), std::string(1 << 20, 'h'));
    EXPECT_EQ(stored("ZarvoPort"), "40001");
    type("hostField", "127.0.0.2");  // the operator's own choice is kept
    controller->controlTextDidEndEditing(nullptr);
    EXPECT_EQ(stored("ZarvoHost"), "127.0.0.2");
    EXPECT_EQ(stored("ZarvoPort"), "50123");
}

// Settings that cannot be written (here the folder of the settings file is
// a file) are told once in the log pane, not at every edit.
TEST_F(WindowSettingsTest, SettingsThatCannotBeSavedAreToldOnce)
{
    QFile blocker(folder.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings = std::make_unique<QSettings>(folder.filePath("blocker/zarvo.ini"), QSettings::IniFormat);
    store = std::make_unique<CWQSettingsStore>(*settings);
    makeWindow();
    for (const char* pitch : {"700", "800"}) {
        type("pitchField", pitch);
        controller->controlTextDidEndEditing(control<QLineEdit>("pitchField"));
    }
    EXPECT_EQ(logCount("Settings not saved to " + folder.filePath("blocker/zarvo.ini").toStdString() +
                       ": the file or its folder cannot be written"),
              1u);
}

TEST_F(WindowSettingsTest, QomDefaultsLeaveThePitchWhichIsQuantisedAndGotoMaxWaitsForAPeak)
{
    makeWindow();
    for (const auto& [name, value] : {std::pair{"pitchField", "750"}, std::pair{"txWpmField", "32"},
                                      std::pair{"bandwidthField", "30"}, std::pair{"qomLockHoldField", "3"}})
        type(name, value);
    control<QCheckBox>("qomAgcButton")->click();
    control<QCheckBox>("autoCenterButton")->click();
    EXPECT_EQ(stored("ZarvoQOMAGC"), "false");  // checkboxes store at once
    control<QPushButton>("resetQOMDefaultsButton")->click();
    for (const auto& [name, value] : {std::pair{"pitchField", "750"}, std::pair{"txWpmField", "32"},
                                      std::pair{"bandwidthField", "120"}, std::pair{"qomLockHoldField", "1.8"}})
        EXPECT_EQ(text(name), value) << name;
    EXPECT_TRUE(checked("qomAgcButton"));
    EXPECT_TRUE(checked("autoCenterButton"));
    EXPECT_EQ(stored("ZarvoBandwidth"), "120");
    EXPECT_EQ(stored("ZarvoPitch"), "750");

    // Pitch changes are quantised, shown and stored; GotoMax waits for a peak
    // (AutoGTM off again, so that only GotoMax can tune).
    control<QCheckBox>("autoCenterButton")->click();
    controller->applyPitchHz(612.4);
    EXPECT_EQ(text("pitchField"), "610");
    EXPECT_EQ(stored("ZarvoPitch"), "610");
    controller->spectrumViewDidSelectPitchHz(nullptr, 1300);
    EXPECT_EQ(text("pitchField"), "1200");
    type("pitchField", "650");
    controller->controlTextDidEndEditing(control("pitchField"));
    control<QPushButton>("gotoMaxButton")->click();
    EXPECT_EQ(text("pitchField"), "650");
    std::vector<float> tone(4096);  // a steady 700 Hz tone gives the tuner a peak there
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * static_cast<float>(std::sin(2.0 * M_PI * 700.0 * static_cast<double>(i) / 48000.0));
    deliver_frame(controller.get(), tone, 48000, 1);
    control<QPushButton>("gotoMaxButton")->click();
    EXPECT_EQ(text("pitchField"), "700");
    EXPECT_EQ(config().pitchHz, 700);
}

// The start-up exchange itself is the client's; here the window's part:
// the title follows the radio, speed replies set the TX speed, Disconnect
// empties the views, and each connection logs its first frame once.
TEST_F(WindowSettingsTest, ConnectsFollowsTheRadioAndDisconnectsPolitely)
{
    startServer();
    makeWindow();
    EXPECT_EQ(title(), "Zarvo \u2014 Disconnected");
    connect();
    ASSERT_TRUE(until(
        [&] {
            return has(logLines(), "RX audio active: 8000 Hz, float32, 1 channel") &&
                   logCount(">> ") == kTCIStartupCommands.size() + 1;  // and the panorama's spots cleared
        },
        3000));
    EXPECT_EQ(button(), "Disconnect");
    EXPECT_EQ(title(), "Zarvo \u2014 Connected \u2014 7.025000 MHz \u2014 CW");  // as the server greeted
    EXPECT_EQ(status().rfind("RX 8000 Hz", 0), 0u) << status();
    EXPECT_EQ(logLines()[0], "Connecting to ws://127.0.0.1:" + std::to_string(server->port()));
    EXPECT_EQ(logLines()[1], "Connected");

    controller->tciClientDidReceiveTextMessage(nullptr, "vfo:0,0,7030000;modulation:0,cw;");
    EXPECT_EQ(title(), "Zarvo \u2014 Connected \u2014 7.030000 MHz \u2014 CW");
    EXPECT_EQ(logCount("<< vfo:0,0,7030000;modulation:0,cw;"), 1u);
    controller->tciClientDidReceiveTextMessage(nullptr, "vfo:0,0,1e300;modulation:0,true;");
    EXPECT_EQ(title(), "Zarvo \u2014 Connected \u2014 7.030000 MHz \u2014 CW");
    controller->tciClientDidReceiveTextMessage(nullptr, "cw_keyer_speed:250;");
    EXPECT_EQ(text("txWpmField"), "100");
    EXPECT_EQ(stored("ZarvoTxWPM"), "100");
    controller->tciClientDidReceiveTextMessage(nullptr, "cw_macros_speed:nan;");
    EXPECT_EQ(text("txWpmField"), "100");
    EXPECT_EQ(logCount("<< cw_macros_speed:nan;"), 1u);
    const size_t received = logCount("<< ");
    controller->tciClientDidReceiveTextMessage(nullptr, "");
    EXPECT_EQ(logCount("<< "), received);

    const auto* trace = control<CWToneTraceView>("toneTraceView");
    ASSERT_TRUE(until([&] { return trace->history().size() > 0; }, 2000));
    control<QPushButton>("connectButton")->click();
    EXPECT_EQ(button(), "Connect");
    EXPECT_EQ(title(), "Zarvo \u2014 Disconnected");
    EXPECT_EQ(status(), "RX audio --");
    EXPECT_EQ(trace->history().size(), 0u);  // nothing shown as live once the audio is gone
    EXPECT_EQ(control<CWSpectrumView>("spectrumView")->figures().inputDbFS, -120.0);
    EXPECT_EQ(logCount("Disconnecting"), 1u);
    ASSERT_TRUE(until([&] { return has(serverLog, "[1] disconnected, close code 1000"); }, 2000));
    EXPECT_EQ(logCount("Disconnected: "), 0u);
    EXPECT_EQ(stored("ZarvoPort"), std::to_string(server->port()));

    connect();
    ASSERT_TRUE(until([&] { return controller->receiver().audioFrameCount() > 5; }, 3000));
    EXPECT_EQ(logCount("RX audio active: 8000 Hz, float32, 1 channel"), 2u);
}

TEST_F(WindowSettingsTest, ARefusedPortShowsTheDisconnectOnce)
{
    QTcpServer probe;  // a port that nothing listens on once it closes
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const uint16_t port = probe.serverPort();
    probe.close();
    makeWindow();
    type("portField", QString::number(port));
    control<QPushButton>("connectButton")->click();
    ASSERT_TRUE(until([&] { return status().rfind("Disconnected: ", 0) == 0; }, 3000));
    settle(700);  // past the last start-up command
    EXPECT_EQ(logCount("Disconnected: "), 1u);
    EXPECT_TRUE(has(logLines(), status()));  // the status line shows the same reason
    EXPECT_EQ(logCount(">> "), 0u);
    EXPECT_EQ(button(), "Connect");
    EXPECT_EQ(title(), "Zarvo \u2014 Disconnected");
    control<QPushButton>("connectButton")->click();  // a failed link is not connected: Connect tries again
    EXPECT_EQ(logCount("Connecting to "), 2u);
}

}  // namespace
