// The skimmer in the running window: a test radio (not the bundled
// simulator) streams a station calling CQ and the window puts its spot on
// the radio's panorama, lists it in the Skimmer window, feeds it to a logger
// on the cluster port and tunes the decoder to it on a double click or a
// click on the panorama.
#include "test_cw_window_controller_fixture.h"

#include "CWClusterFeed.h"
#include "CWSkimmerWindow.h"
#include "cw_spot_messages.h"
#include "tci_commands.h"
#include "tci_test_radio.h"

#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>

#include <regex>
#include <sstream>

using namespace cw_window_test;

namespace {

// Heard at 780 Hz with the window's pitch at the radio's CW pitch of 600 Hz:
// on the air at VFO A + 180 Hz (not the panorama centre, VFO B or the other
// receiver).
const tci_test_radio::STATION kStation = {.pitchHz = 780.0};
const double kStationHz = tci_test_radio::station_radio_hz(kStation);

class WindowSkimmerTest : public WindowTest {
protected:
    void connectTo(const tci_test_radio::Radio& to) const
    {
        type("portField", QString::number(to.port()));
        control<QPushButton>("connectButton")->click();
    }
    // Where a command stands among those the radio received; -1 if never.
    static long position(const tci_test_radio::Radio& r, const std::string& prefix)
    {
        const std::vector<std::string>& all = r.received();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].rfind(prefix, 0) == 0)
                return static_cast<long>(i);
        return -1;
    }

    std::unique_ptr<tci_test_radio::Radio> radio;
};

}  // namespace

// One link from connect to disconnect, checked in the order an operator
// sees it, then the next link; one test because the first spot takes
// seconds of audio.
TEST_F(WindowSkimmerTest, AStationCallingCQIsSpottedListedFedToLoggersAndClearedAtDisconnect)
{
    QTcpServer probe;  // a free port, given back for the feed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    settings->setValue(kCWClusterPortKey, port);  // the stored setting, as an operator gives it
    radio = std::make_unique<tci_test_radio::Radio>(kStation);
    std::string error;
    ASSERT_TRUE(radio->listen(&error)) << error;
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
    connectTo(*radio);

    // The radio's frequency is VFO A of receiver 0, whatever it sent after.
    ASSERT_TRUE(until([&] { return radio->streaming(); }, 5000));
    EXPECT_EQ(controller->settings().frequencyHz(), tci_test_radio::kVfoHz);
    EXPECT_TRUE(controller->window()->windowTitle().contains("14.025000 MHz"))
        << controller->window()->windowTitle().toStdString();

    // The panorama: cleared at connect, then the spot, at the station's
    // frequency, in the CQ colour.
    ASSERT_TRUE(until([&] { return !radio->received("spot").empty(); }, 30000))
        << "spots sent: " << controller->skimmer().spotsSent();
    const std::string spot = radio->received("spot")[0];
    ASSERT_TRUE(spot.starts_with("spot:DL2QZA,")) << spot;
    const TCI_COMMAND command = tci_parse_command(spot.substr(0, spot.find(';')));
    ASSERT_EQ(command.arguments.size(), 5u) << spot;
    EXPECT_EQ(command.arguments[1], "cw");
    EXPECT_NEAR(std::stod(command.arguments[2]), kStationHz, 25.0) << spot;
    EXPECT_EQ(command.arguments[3], std::to_string(kCWSpotCqArgb)) << spot;
    std::smatch text;
    ASSERT_TRUE(std::regex_match(command.arguments[4], text, std::regex(R"((\d+) WPM (-?\d+) dB CQ)"))) << spot;
    EXPECT_NEAR(std::stod(text[1].str()), kStation.wpm, 3.0) << spot;
    EXPECT_GT(std::stod(text[2].str()), 0.0) << spot;
    const long clear = position(*radio, "spot_clear;");
    EXPECT_TRUE(clear >= 0 && clear < position(*radio, "spot:DL2QZA,")) << "the link began with a clean panorama";

    // The logger on the cluster port.
    std::string feed;
    const bool fed = until(
        [&] {
            feed += logger.readAll().toStdString();
            return feed.find("DX de ZARVO-#:") != std::string::npos && feed.find("DL2QZA") != std::string::npos;
        },
        5000);
    ASSERT_TRUE(fed) << feed;
    std::istringstream line(feed.substr(feed.find("DX de ZARVO-#:") + 14));
    double khz = 0;
    std::string call;
    line >> khz >> call;
    EXPECT_EQ(call, "DL2QZA") << feed;
    EXPECT_NEAR(khz, kStationHz / 1000.0, 0.051) << feed;

    // The Skimmer window lists the call; a double click tunes the decoder.
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
    EXPECT_NEAR(controller->settings().pitchHzValue(), kStation.pitchHz, 25.0);
    EXPECT_NEAR(controller->receiver().receiverConfig().pitchHz, kStation.pitchHz, 25.0);
    EXPECT_EQ(logCount("Skimmer: tuned to DL2QZA at "), 1u);

    // Still one spot for the station.
    EXPECT_EQ(radio->received("spot").size(), 1u);

    // Disconnect clears the panorama and the list.
    const size_t clears = radio->received("spot_clear").size();
    control<QPushButton>("connectButton")->click();
    EXPECT_TRUE(until([&] { return radio->received("spot_clear").size() > clears; }, 3000));
    EXPECT_TRUE(controller->skimmer().spots().empty());
    EXPECT_FALSE(radio->received("audio_stop").empty());

    // The next connection learns the radio's frequency afresh: on a server
    // that reports no dial, the panorama centre.
    tci_test_radio::Radio ddsOnly(kStation, tci_test_radio::DIAL::DdsOnly);
    ASSERT_TRUE(ddsOnly.listen(&error)) << error;
    ASSERT_TRUE(until([&] { return radio->clientCount() == 0; }, 3000));
    connectTo(ddsOnly);
    ASSERT_TRUE(until([&] { return ddsOnly.streaming(); }, 5000));
    EXPECT_EQ(controller->settings().frequencyHz(), tci_test_radio::kDdsHz);
    EXPECT_TRUE(controller->window()->windowTitle().contains("14.000000 MHz"))
        << controller->window()->windowTitle().toStdString();
}

// A cluster port in use is one log line and the rest goes on: the skimmer
// works through the stream, and clicks on the radio's panorama tune the
// decoder.
TEST_F(WindowSkimmerTest, ClicksOnTheRadiosPanoramaTuneTheDecoderWithTheClusterPortInUse)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    startServer();
    CW_WINDOW_ENVIRONMENT environment;
    environment.clusterPort = holder.serverPort();
    makeWindow(environment);
    EXPECT_EQ(controller->cluster().port(), 0);
    EXPECT_EQ(logCount("Cluster feed off: "), 1u);
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
    EXPECT_TRUE(until([&] { return controller->skimmer().seconds() >= 1.0; }, 10000));
}
