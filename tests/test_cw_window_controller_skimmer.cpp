// The skimmer in the running window: the simulator streams a station
// calling CQ and the window puts its spot on the server's panorama, lists
// it in the Skimmer window, feeds it to a logger on the cluster port and
// tunes the decoder to it on a double click or a click on the panorama.
#include "test_cw_window_controller_fixture.h"

#include "CWSkimmerWindow.h"
#include "cw_spot_messages.h"
#include "morse_audio_generator.h"
#include "tci_commands.h"

#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>

#include <cmath>

using namespace cw_window_test;

namespace {

// The simulator's vfo is 7025000 Hz in CW and the window's pitch 600 Hz,
// so a station keyed at 800 Hz is at 7025200 Hz.
constexpr double kStationPitchHz = 800.0;
constexpr double kStationHz = 7025200.0;

std::vector<float> station(uint32_t rate)
{
    MORSE_AUDIO_CONFIG config = morse_audio_default_config();
    config.wpm = 26.0;
    config.pitchHz = kStationPitchHz;
    config.sampleRateHz = rate;
    config.addNoise = true;  // a band has noise; a noise-free tone is no test of a skimmer
    config.snrDb = 20.0;
    config.leadSeconds = 0.5;
    config.tailSeconds = 1.0;
    std::vector<float> mono;
    std::string error;
    EXPECT_TRUE(morse_audio_generate(config, "CQ CQ DE DL2QZA DL2QZA K", &mono, nullptr, &error)) << error;
    return mono;
}

class WindowSkimmerTest : public WindowTest {
protected:
    void streamStation()
    {
        startServer(float_wav(station(12000), 12000));
        makeWindow();  // without a cluster feed
        connect();
    }
    // The commands the server received, without the client tag.
    std::vector<std::string> received(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const std::string& line : serverLog) {
            const size_t at = line.find("<< " + prefix);
            if (at != std::string::npos)
                found.push_back(line.substr(at + 3));
        }
        return found;
    }
    bool spotReceived() const { return !received("spot:DL2QZA,").empty(); }
};

}  // namespace

TEST_F(WindowSkimmerTest, AStationCallingCQIsSpottedOnTheServersPanorama)
{
    streamStation();
    ASSERT_TRUE(until([&] { return spotReceived(); }, 30000)) << "spots sent: " << controller->skimmer().spotsSent();
    const std::string spot = received("spot:DL2QZA,")[0];
    // "spot:DL2QZA,cw,7025200,ARGB,26 WPM .. dB CQ;"
    TCI_COMMAND command = tci_parse_command(spot.substr(0, spot.find(';')));
    ASSERT_EQ(command.arguments.size(), 5u) << spot;
    EXPECT_EQ(command.arguments[1], "cw");
    EXPECT_NEAR(std::stod(command.arguments[2]), kStationHz, 25.0) << spot;
    EXPECT_EQ(command.arguments[3], std::to_string(kCWSpotCqArgb)) << spot;
    EXPECT_NE(command.arguments[4].find(" WPM "), std::string::npos) << spot;
    EXPECT_TRUE(command.arguments[4].ends_with(" CQ")) << spot;
    // The link began with a clean panorama.
    EXPECT_FALSE(received("spot_clear;").empty());
}

TEST_F(WindowSkimmerTest, TheSkimmerWindowListsTheCallAndADoubleClickTunesToIt)
{
    streamStation();
    ASSERT_TRUE(until([&] { return spotReceived(); }, 30000));
    controller->openSkimmerWindow();
    CWSkimmerWindow* window = controller->skimmerWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    auto* table = window->findChild<QTableWidget*>("skimmerTable");
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(until([&] { return table->rowCount() >= 1; }, 3000));
    EXPECT_EQ(table->item(0, 0)->text().toStdString(), "DL2QZA");
    EXPECT_NEAR(table->item(0, 1)->text().toDouble(), kStationHz / 1000.0, 0.05);
    EXPECT_TRUE(table->item(0, 4)->text().endsWith(" s")) << table->item(0, 4)->text().toStdString();
    // Rows are refreshed while the window is open: the age moves on.
    const QString age = table->item(0, 4)->text();
    EXPECT_TRUE(until([&] { return table->item(0, 4) && table->item(0, 4)->text() != age; }, 5000));

    Q_EMIT table->cellDoubleClicked(0, 0);
    EXPECT_NEAR(controller->settings().pitchHzValue(), kStationPitchHz, 25.0);
    EXPECT_NEAR(controller->receiver().receiverConfig().pitchHz, kStationPitchHz, 25.0);
    EXPECT_EQ(logCount("Skimmer: tuned to DL2QZA at "), 1u);
}

TEST_F(WindowSkimmerTest, ClicksOnTheRadiosPanoramaTuneTheDecoder)
{
    startServer();
    makeWindow();
    connect();
    ASSERT_TRUE(until([&] { return controller->settings().frequencyHz() == 7025000.0; }, 5000));
    controller->tciClientDidReceiveTextMessage(nullptr, "rx_clicked_on_spot:0,0,DL2QZA,7025300;");
    EXPECT_EQ(controller->settings().pitchHzValue(), 900.0);
    // The radio then moves its vfo to the spot: the station is at the reference pitch.
    controller->tciClientDidReceiveTextMessage(nullptr, "vfo:0,0,7025300;");
    EXPECT_EQ(controller->settings().pitchHzValue(), 600.0);
    controller->tciClientDidReceiveTextMessage(nullptr, "clicked_on_spot:K1AB,7025450;");
    EXPECT_EQ(controller->settings().pitchHzValue(), 750.0);
    // Too far from the vfo for the decoder's range: only a log line.
    controller->tciClientDidReceiveTextMessage(nullptr, "clicked_on_spot:W1AW,7027000;");
    EXPECT_EQ(controller->settings().pitchHzValue(), 750.0);
    EXPECT_EQ(logCount("Skimmer: cannot tune to W1AW: heard at 2300 Hz, outside 300..1200 Hz"), 1u);
}

TEST_F(WindowSkimmerTest, DisconnectClearsThePanorama)
{
    streamStation();
    ASSERT_TRUE(until([&] { return spotReceived(); }, 30000));
    const size_t clears = received("spot_clear;").size();
    control<QPushButton>("connectButton")->click();
    EXPECT_TRUE(until([&] { return received("spot_clear;").size() > clears; }, 3000));
    EXPECT_TRUE(controller->skimmer().spots().empty());
}

TEST_F(WindowSkimmerTest, ALoggerOnTheClusterPortGetsTheSpot)
{
    QTcpServer probe;  // a free port, given back for the feed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    settings->setValue(kCWClusterPortKey, port);  // the stored setting, as an operator gives it
    startServer(float_wav(station(12000), 12000));
    CW_WINDOW_ENVIRONMENT stored;  // the fixture's window would have no feed
    stored.documentsFolder = documents();
    stored.alert = [this](const std::string& message) { alerts.push_back(message); };
    controller = std::make_unique<CWWindowController>(*store, stored);
    ASSERT_EQ(controller->cluster().port(), port);
    EXPECT_EQ(logCount("Cluster feed: telnet 127.0.0.1 " + std::to_string(port)), 1u);
    QTcpSocket logger;
    logger.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    ASSERT_TRUE(until([&] { return logger.state() == QAbstractSocket::ConnectedState; }, 3000));
    logger.write("N0CALL\r\n");
    connect();
    std::string feed;
    const bool spotted = until(
        [&] {
            feed += logger.readAll().toStdString();
            return feed.find("DX de ZARVO-#:") != std::string::npos && feed.find("DL2QZA") != std::string::npos;
        },
        30000);
    EXPECT_TRUE(spotted) << feed;
    const std::string line = feed.substr(feed.find("DX de ZARVO-#:"));
    EXPECT_NE(line.find("7025.2  DL2QZA"), std::string::npos) << line;
}

TEST_F(WindowSkimmerTest, AClusterPortInUseIsOneLogLineAndTheRestGoesOn)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    startServer(float_wav(station(12000), 12000));
    CW_WINDOW_ENVIRONMENT environment;
    environment.clusterPort = holder.serverPort();
    makeWindow(environment);
    EXPECT_EQ(controller->cluster().port(), 0);
    EXPECT_EQ(logCount("Cluster feed off: "), 1u);
    connect();
    EXPECT_TRUE(until([&] { return spotReceived(); }, 30000));
}
