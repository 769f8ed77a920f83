// Connect and Disconnect against the simulator on loopback, both on this
// thread's event loop.
#include "test_cw_window_controller_fixture.h"

#include "tci_commands.h"
#include "tci_sim_server.h"

#include <QHostAddress>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>

using namespace cw_window_test;

namespace {

class WindowConnectionTest : public WindowTest {
protected:
    void TearDown() override
    {
        WindowTest::TearDown();
        server.reset();
    }

    void startServer()
    {
        TCI_SIM_OPTIONS options;
        options.host = "127.0.0.1";
        options.port = 0;
        options.source = TCI_SIM_SOURCE::Ramp;
        options.sampleRate = 8000;
        options.frameSamples = 160;
        server = std::make_unique<TciSimServer>(options, nullptr,
                                                [this](const std::string& line) { serverLines.push_back(line); });
        std::string error;
        ASSERT_TRUE(server->listen(&error)) << error;
        port = server->port();
    }
    void clickConnect() const { control<QPushButton>("connectButton")->click(); }

    std::string button() const { return control<QPushButton>("connectButton")->text().toStdString(); }
    std::string status() const { return control<QLabel>("statusLabel")->text().toStdString(); }
    std::string title() const { return controller->window()->windowTitle().toStdString(); }
    bool logged(const std::string& line) const
    {
        const std::vector<std::string> lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool serverLogged(const std::string& line) const
    {
        return std::find(serverLines.begin(), serverLines.end(), line) != serverLines.end();
    }

    std::unique_ptr<TciSimServer> server;
    std::vector<std::string> serverLines;
    uint16_t port = 0;
};

TEST_F(WindowConnectionTest, ConnectsRunsTheStartupAndDisconnectsPolitely)
{
    startServer();
    makeWindow();
    EXPECT_EQ(title(), "Zarvo \u2014 Disconnected");
    type("portField", QString::number(port));
    clickConnect();
    ASSERT_TRUE(until([&] { return logged("<< audio_stream_samples:160;") && logCount(">> ") == 11; }, 3000));
    EXPECT_EQ(button(), "Disconnect");
    EXPECT_EQ(title(), "Zarvo \u2014 Connected \u2014 CW");  // the mode the server reported
    EXPECT_EQ(status(), "RX audio --");
    const std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Connecting to ws://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(lines[1], "Connected");
    std::vector<std::string> sent;
    for (const std::string& l : lines)
        if (l.rfind(">> ", 0) == 0)
            sent.push_back(l.substr(3));
    EXPECT_EQ(sent, std::vector<std::string>(kTCIStartupCommands.begin(), kTCIStartupCommands.end()));
    EXPECT_TRUE(logged("<< modulation:0,cw;"));
    ASSERT_TRUE(until([&] { return logged("RX audio active: 8000 Hz, float32, 1 channel"); }, 2000));

    clickConnect();
    EXPECT_EQ(button(), "Connect");
    EXPECT_EQ(title(), "Zarvo \u2014 Disconnected");
    EXPECT_EQ(status(), "RX audio --");
    const std::vector<std::string> after = logLines();
    EXPECT_EQ(std::vector<std::string>(after.end() - 2, after.end()),
              (std::vector<std::string>{"Disconnecting", ">> audio_stop:0;"}));
    ASSERT_TRUE(until([&] { return serverLogged("[1] disconnected, close code 1000"); }, 2000));
    EXPECT_EQ(logCount("Disconnected: "), 0u);
    EXPECT_EQ(stored("ZarvoPort"), std::to_string(port));
}

TEST_F(WindowConnectionTest, ARefusedPortShowsTheDisconnectOnce)
{
    {
        QTcpServer probe;  // a port that nothing listens on
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    makeWindow();
    type("portField", QString::number(port));
    clickConnect();
    ASSERT_TRUE(until([&] { return status().rfind("Disconnected: ", 0) == 0; }, 3000));
    settle(700);  // past the last start-up command
    EXPECT_EQ(logCount("Disconnected: "), 1u);
    EXPECT_TRUE(logged(status()));  // the status line shows the same reason
    EXPECT_EQ(logCount(">> "), 0u);
    EXPECT_EQ(button(), "Connect");
    EXPECT_EQ(title(), "Zarvo \u2014 Disconnected");

    clickConnect();  // a failed link counts as not connected: Connect tries again
    EXPECT_EQ(logCount("Connecting to "), 2u);
}

TEST_F(WindowConnectionTest, TheTitleFollowsTheRadioAndSpeedRepliesSetTheTxSpeed)
{
    startServer();
    makeWindow();
    type("portField", QString::number(port));
    clickConnect();
    ASSERT_TRUE(until([&] { return controller->settings().client().isConnected(); }, 3000));
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
}

}  // namespace
