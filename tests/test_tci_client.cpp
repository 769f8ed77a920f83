// The client against the simulator on loopback, both on this thread's
// event loop.
#include "TCIClient.h"
#include "tci_commands.h"
#include "tci_sim_faults.h"
#include "tci_sim_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// A hung test is killed rather than left to block the run.
constexpr unsigned kTestAlarmSeconds = 30;

void ensure_application()
{
    static int argc = 1;
    static char name[] = "test_tci_client";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QCoreApplication(argc, argv);
    }();
    (void)app;
}

struct Line {
    double at;
    std::string text;
};

class Recorder : public TCIClientDelegate {
public:
    QElapsedTimer clock;
    std::vector<Line> logs;
    std::vector<std::string> events;  // "connect", "disconnect", "text", "binary", "audio"
    std::vector<TCI_ERROR> errors;
    std::vector<std::string> texts;
    std::vector<TCIStreamInfo> binaries;
    std::vector<std::vector<float>> audio;  // channel 0 of each audio frame
    std::vector<double> audioAt;

    void tciClientDidLogLine(TCIClient*, const std::string& line) override { logs.push_back({now(), line}); }
    void tciClientDidConnect(TCIClient*) override { events.push_back("connect"); }
    void tciClientDidDisconnectWithError(TCIClient*, const TCI_ERROR& error) override
    {
        events.push_back("disconnect");
        errors.push_back(error);
    }
    void tciClientDidReceiveTextMessage(TCIClient*, const std::string& text) override
    {
        events.push_back("text");
        texts.push_back(text);
    }
    void tciClientDidReceiveBinaryMessageWithLength(TCIClient*, uint64_t length, TCIStreamInfo info) override
    {
        EXPECT_EQ(length, info.messageBytes);
        events.push_back("binary");
        binaries.push_back(info);
    }
    void tciClientDidReceiveRxAudioFrameData(TCIClient*, const uint8_t* data, size_t size,
                                             TCIStreamInfo info) override
    {
        EXPECT_EQ(size, info.messageBytes);
        events.push_back("audio");
        std::vector<float> channel0(info.frameCount);
        for (size_t i = 0; i < channel0.size(); ++i)
            std::memcpy(&channel0[i], data + 64 + 4 * i * info.channels, 4);
        audio.push_back(channel0);
        audioAt.push_back(now());
    }

    size_t count(const std::string& event) const
    {
        return static_cast<size_t>(std::count(events.begin(), events.end(), event));
    }
    size_t logsStartingWith(const std::string& prefix) const
    {
        return static_cast<size_t>(std::count_if(logs.begin(), logs.end(),
                                                 [&](const Line& l) { return l.text.rfind(prefix, 0) == 0; }));
    }
    bool logged(const std::string& line) const
    {
        return std::any_of(logs.begin(), logs.end(), [&](const Line& l) { return l.text == line; });
    }

private:
    double now() const { return clock.nsecsElapsed() / 1e9; }
};

// Channel 0 counts up by 1/4096 per sample across frames, so a lost, doubled
// or reordered frame breaks the count.
::testing::AssertionResult ramp_continues(const std::vector<std::vector<float>>& frames)
{
    long expected = -1;
    for (size_t f = 0; f < frames.size(); ++f) {
        for (size_t i = 0; i < frames[f].size(); ++i) {
            const long step = std::lround(frames[f][i] * 4096.0);
            if (expected >= 0 && step != expected)
                return ::testing::AssertionFailure() << "frame " << f << " sample " << i << " is " << step
                                                     << ", wanted " << expected;
            expected = (step + 1) % 4096;
        }
    }
    return ::testing::AssertionSuccess();
}

uint16_t unused_port()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const uint16_t port = probe.serverPort();
    probe.close();
    return port;
}

class TciClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_application();
        alarm(kTestAlarmSeconds);
        recorder.clock.start();
        client = std::make_unique<TCIClient>();
        client->setDelegate(&recorder);
    }
    void TearDown() override
    {
        client.reset();
        settle(150);  // lets closes that are under way finish
        server.reset();
        alarm(0);
    }

    static TCI_SIM_OPTIONS ramp_options()
    {
        TCI_SIM_OPTIONS o;
        o.source = TCI_SIM_SOURCE::Ramp;
        o.sampleRate = 8000;
        o.frameSamples = 160;  // 50 frames a second
        return o;
    }
    void startServer(TCI_SIM_OPTIONS options = ramp_options())
    {
        options.host = "127.0.0.1";
        options.port = 0;
        server = std::make_unique<TciSimServer>(options, nullptr, [this](const std::string& line) {
            serverLines.push_back({recorder.clock.nsecsElapsed() / 1e9, line});
        });
        std::string error;
        ASSERT_TRUE(server->listen(&error)) << error;
        port = server->port();
    }
    void connect(const std::string& host = "127.0.0.1") { client->connectToHost(host, port); }

    bool waitUntil(const std::function<bool()>& done, int ms)
    {
        QElapsedTimer waited;
        waited.start();
        QTimer wake;
        wake.start(5);
        while (!done()) {
            if (waited.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
    void settle(int ms)
    {
        waitUntil([] { return false; }, ms);
    }
    bool waitForAudio(size_t frames, int ms = 3000)
    {
        return waitUntil([&] { return recorder.audio.size() >= frames; }, ms);
    }

    // Commands the server received from its n-th client, with their times.
    std::vector<Line> received(int n) const
    {
        const std::string tag = "[" + std::to_string(n) + "] << ";
        std::vector<Line> out;
        for (const Line& l : serverLines)
            if (l.text.rfind(tag, 0) == 0)
                out.push_back({l.at, l.text.substr(tag.size())});
        return out;
    }
    bool serverLogged(const std::string& line) const
    {
        return std::any_of(serverLines.begin(), serverLines.end(), [&](const Line& l) { return l.text == line; });
    }
    const Line* serverLine(const std::string& line) const
    {
        const auto it = std::find_if(serverLines.begin(), serverLines.end(), [&](const Line& l) { return l.text == line; });
        return it == serverLines.end() ? nullptr : &*it;
    }
    static std::vector<std::string> texts_of(const std::vector<Line>& lines)
    {
        std::vector<std::string> out;
        for (const Line& l : lines)
            out.push_back(l.text);
        return out;
    }
    static std::vector<std::string> startup_commands()
    {
        return std::vector<std::string>(kTCIStartupCommands.begin(), kTCIStartupCommands.end());
    }

    Recorder recorder;
    std::unique_ptr<TCIClient> client;
    std::unique_ptr<TciSimServer> server;
    std::vector<Line> serverLines;
    uint16_t port = 0;
};

}  // namespace

TEST_F(TciClientTest, StartupCommandsGoOutInOrderAboutFiftyMsApartAndRepliesArrive)
{
    startServer();
    connect();
    ASSERT_TRUE(waitUntil([&] { return received(1).size() >= 11; }, 3000));
    const std::vector<Line> got = received(1);
    EXPECT_EQ(texts_of(got), startup_commands());
    const double spacing = (got.back().at - got.front().at) / 10.0;
    EXPECT_GT(spacing, 0.040);
    EXPECT_LT(spacing, 0.100);
    std::vector<std::string> logged;
    for (const Line& l : recorder.logs)
        logged.push_back(l.text);
    std::vector<std::string> wanted = {"Connecting to ws://127.0.0.1:" + std::to_string(port), "Connected"};
    for (const std::string& c : startup_commands())
        wanted.push_back(">> " + c);
    EXPECT_EQ(logged, wanted);
    EXPECT_EQ(recorder.events.front(), "connect");
    EXPECT_TRUE(client->isConnected());
    ASSERT_TRUE(waitUntil([&] { return recorder.texts.size() >= 8; }, 1000));
    EXPECT_EQ(recorder.texts,
              (std::vector<std::string>{"protocol:ExpertSDR3,1.0;", "device:zarvo-tci-sim;", "trx_count:1;",
                                        "channels_count:1;", "modulation:0,cw;", "cw_macros_speed:25;",
                                        "cw_keyer_speed:25;", "audio_stream_samples:160;"}));
}

TEST_F(TciClientTest, FramesArriveInOrderWithNoneLostAtRealTimePace)
{
    startServer();
    connect();
    ASSERT_TRUE(waitForAudio(26));
    EXPECT_EQ(recorder.binaries.size(), recorder.audio.size());
    EXPECT_EQ(recorder.audio.front().front(), 0.0f);
    EXPECT_TRUE(ramp_continues(recorder.audio));
    for (const TCIStreamInfo& info : recorder.binaries) {
        EXPECT_TRUE(info.isRxAudioFloat32);
        EXPECT_EQ(info.sampleRate, 8000u);
        EXPECT_EQ(info.channels, 1u);
    }
    const double span = recorder.audioAt[25] - recorder.audioAt[0];
    EXPECT_GT(span, 0.3);  // 25 frames of 20 ms
    EXPECT_LT(span, 1.0);
}

TEST_F(TciClientTest, PoliteDisconnectClosesWithCode1000AfterAudioStop)
{
    startServer();
    connect();
    ASSERT_TRUE(waitForAudio(3));
    client->disconnect();
    EXPECT_FALSE(client->isConnected());
    EXPECT_TRUE(client->isIntentionallyClosed());
    const size_t framesAtDisconnect = recorder.audio.size();
    ASSERT_EQ(recorder.logs.size() >= 2, true);
    EXPECT_EQ(recorder.logs[recorder.logs.size() - 2].text, "Disconnecting");
    EXPECT_EQ(recorder.logs.back().text, ">> audio_stop:0;");
    ASSERT_TRUE(waitUntil([&] { return serverLogged("[1] disconnected, close code 1000"); }, 2000));
    const Line* stop = serverLine("[1] << audio_stop:0;");
    ASSERT_NE(stop, nullptr);
    EXPECT_GT(serverLine("[1] disconnected, close code 1000")->at - stop->at, 0.040);
    settle(100);
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_EQ(recorder.audio.size(), framesAtDisconnect);
}

TEST_F(TciClientTest, RefusedPortIsReportedOnceAsADisconnect)
{
    port = unused_port();
    connect();
    ASSERT_TRUE(waitUntil([&] { return !recorder.errors.empty(); }, 3000));
    settle(700);
    EXPECT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.logsStartingWith("Disconnected: "), 1u);
    EXPECT_EQ(recorder.logsStartingWith(">> "), 0u);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"connect", "disconnect"}));
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(recorder.errors[0].domain, "QAbstractSocket");
    EXPECT_EQ(recorder.errors[0].code, QAbstractSocket::ConnectionRefusedError);
}

TEST_F(TciClientTest, AbruptServerCloseIsReportedOnce)
{
    TCI_SIM_OPTIONS o = ramp_options();
    o.closeAfterSeconds = 0.8;
    startServer(o);
    connect();
    ASSERT_TRUE(waitUntil([&] { return !recorder.errors.empty(); }, 3000));
    settle(300);
    EXPECT_GT(recorder.audio.size(), 0u);
    EXPECT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.logsStartingWith("Disconnected: "), 1u);
    EXPECT_FALSE(client->isConnected());
    EXPECT_FALSE(client->isIntentionallyClosed());
}

TEST_F(TciClientTest, MalformedFramesAreIgnoredWhileGoodOnesFlow)
{
    TCI_SIM_OPTIONS o = ramp_options();
    o.malformedEvery = 2;
    startServer(o);
    connect();
    ASSERT_TRUE(waitForAudio(2 * tci_sim_malformed_kinds() + 2));
    EXPECT_TRUE(ramp_continues(recorder.audio));
    EXPECT_GE(recorder.binaries.size(), recorder.audio.size() + tci_sim_malformed_kinds());
    bool sawShort = false;
    for (const TCIStreamInfo& info : recorder.binaries) {
        if (info.messageBytes < 64) {
            sawShort = true;
            EXPECT_EQ(info.headerBytes, 0u);
            EXPECT_FALSE(info.isRxAudioFloat32);
        }
    }
    EXPECT_TRUE(sawShort);
    EXPECT_TRUE(client->isConnected());
    EXPECT_TRUE(recorder.errors.empty());
}

TEST_F(TciClientTest, GarbageTextIsDeliveredUnchangedAndFramesKeepFlowing)
{
    TCI_SIM_OPTIONS o = ramp_options();
    o.garbageEvery = 2;
    startServer(o);
    connect();
    ASSERT_TRUE(waitForAudio(2 * tci_sim_garbage_count() + 2));
    for (size_t i = 0; i < tci_sim_garbage_count(); ++i)
        EXPECT_NE(std::find(recorder.texts.begin(), recorder.texts.end(), tci_sim_garbage_text(i)),
                  recorder.texts.end())
            << i;
    EXPECT_TRUE(ramp_continues(recorder.audio));
    EXPECT_TRUE(client->isConnected());
}

TEST_F(TciClientTest, ServersThatSendStereoEchoAndChatAreCopedWith)
{
    TCI_SIM_OPTIONS o = ramp_options();
    o.stereo = o.echo = o.chatty = true;
    startServer(o);
    connect();
    ASSERT_TRUE(waitForAudio(10));
    EXPECT_TRUE(ramp_continues(recorder.audio));
    for (const TCIStreamInfo& info : recorder.binaries)
        EXPECT_EQ(info.channels, 2u);
    const auto has = [&](const std::string& t) {
        return std::find(recorder.texts.begin(), recorder.texts.end(), t) != recorder.texts.end();
    };
    EXPECT_TRUE(has("ready;"));
    EXPECT_TRUE(has("audio_start:0;"));
    EXPECT_TRUE(recorder.errors.empty());
}

TEST_F(TciClientTest, StalledServerKeepsTheLinkAndTheStreamGoesOn)
{
    TCI_SIM_OPTIONS o = ramp_options();
    o.stallAfterSeconds = 0.8;
    o.stallForSeconds = 0.6;
    startServer(o);
    connect();
    ASSERT_TRUE(waitForAudio(30, 4000));
    double longestGap = 0.0;
    for (size_t i = 1; i < recorder.audioAt.size(); ++i)
        longestGap = std::max(longestGap, recorder.audioAt[i] - recorder.audioAt[i - 1]);
    EXPECT_GT(longestGap, 0.4);
    EXPECT_TRUE(ramp_continues(recorder.audio));
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_TRUE(client->isConnected());
}

TEST_F(TciClientTest, ReconnectWithinTheStartupWindowKeepsTheLinksApart)
{
    startServer();
    connect();
    ASSERT_TRUE(waitUntil([&] { return received(1).size() >= 2; }, 2000));
    connect();
    ASSERT_TRUE(waitForAudio(5));
    ASSERT_TRUE(waitUntil([&] { return serverLogged("[1] disconnected, close code 1000"); }, 2000));
    settle(300);
    const std::vector<std::string> first = texts_of(received(1));
    EXPECT_EQ(first.back(), "audio_stop:0;");
    EXPECT_EQ(std::count(first.begin(), first.end(), "audio_start:0;"), 0);
    EXPECT_EQ(texts_of(received(2)), startup_commands());
    EXPECT_TRUE(client->isConnected());
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_EQ(recorder.count("connect"), 2u);
    EXPECT_EQ(recorder.count("disconnect"), 0u);
}

TEST_F(TciClientTest, CommandGivenBeforeTheHandshakeWaitsForIt)
{
    startServer();
    connect();
    client->sendText("cw_macros_speed:30;");
    ASSERT_TRUE(waitUntil([&] { return !received(1).empty(); }, 2000));
    EXPECT_EQ(received(1).front().text, "cw_macros_speed:30;");
    EXPECT_TRUE(recorder.logged(">> cw_macros_speed:30;"));
}

TEST_F(TciClientTest, CommandGivenBeforeARefusedHandshakeIsReportedNotSent)
{
    port = unused_port();
    connect();
    client->sendText("cw_macros:0,CQ;");
    ASSERT_TRUE(waitUntil([&] { return !recorder.errors.empty(); }, 3000));
    EXPECT_EQ(recorder.logsStartingWith("Send error: "), 1u);
    EXPECT_NE(recorder.logs[recorder.logs.size() - 2].text.find("(not sent: cw_macros:0,CQ;)"), std::string::npos);
    EXPECT_FALSE(recorder.logged(">> cw_macros:0,CQ;"));
}

TEST_F(TciClientTest, DisconnectBeforeTheHandshakeReportsWhatWasNotSent)
{
    QTcpServer silent;  // accepts and never answers the opening handshake
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    port = silent.serverPort();
    connect();
    client->sendText("cw_macros_stop;");
    ASSERT_TRUE(waitUntil([&] { return silent.hasPendingConnections(); }, 2000));
    settle(120);  // the first start-up commands come due and wait too
    client->disconnect();
    const std::string reason = "Send error: the connection was closed before it opened (not sent: ";
    EXPECT_TRUE(recorder.logged(reason + "cw_macros_stop;)"));
    EXPECT_TRUE(recorder.logged(reason + "protocol:ExpertSDR3;)"));
    EXPECT_EQ(recorder.logs.back().text, reason + "audio_stop:0;)");
    settle(100);
    EXPECT_EQ(recorder.logsStartingWith(">> "), 0u);
    EXPECT_FALSE(recorder.logged(reason + "audio_start:0;)"));
    EXPECT_EQ(recorder.count("disconnect"), 0u);
}

TEST_F(TciClientTest, HostsAndPortsThatChangeTheTargetAreInvalidUrls)
{
    startServer();
    const std::string p = std::to_string(port);
    for (const std::string host : {"127.0.0.1/x", "127.0.0.1#x", "evil@127.0.0.1", "127.0.0.1:1"}) {
        client->connectToHost(host, port);
        EXPECT_EQ(recorder.logs.back().text, "Invalid URL: ws://" + host + ":" + p);
    }
    client->connectToHost("127.0.0.1", 70000);
    EXPECT_EQ(recorder.logs.back().text, "Invalid URL: ws://127.0.0.1:70000");
    settle(200);
    EXPECT_EQ(recorder.logsStartingWith("Connecting to"), 0u);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(server->clientCount(), 0u);
}

TEST_F(TciClientTest, InvalidUrlStillClosesThePreviousLink)
{
    startServer();
    connect();
    ASSERT_TRUE(waitForAudio(1));
    client->connectToHost("a/b", port);
    EXPECT_FALSE(client->isConnected());
    EXPECT_TRUE(waitUntil([&] { return serverLogged("[1] disconnected, close code 1000"); }, 2000));
}

TEST_F(TciClientTest, SendingWithoutALinkDoesNothing)
{
    client->sendText("cw_macros_stop;");
    const uint8_t byte = 1;
    client->sendBinaryData(&byte, 1);
    client->disconnect();
    settle(50);
    EXPECT_TRUE(recorder.logs.empty());
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(TciClientTest, DisconnectDuringStartupLeavesTheRestUnsentAndUnlogged)
{
    startServer();
    connect();
    ASSERT_TRUE(waitUntil([&] { return recorder.logged(">> trx_count;"); }, 2000));
    client->disconnect();
    settle(700);
    EXPECT_LE(recorder.logsStartingWith(">> "), 5u);  // three or four commands and audio_stop
    EXPECT_FALSE(recorder.logged(">> audio_start:0;"));
    EXPECT_EQ(recorder.logsStartingWith("Send error"), 0u);
    const std::vector<std::string> got = texts_of(received(1));
    EXPECT_EQ(std::count(got.begin(), got.end(), "audio_start:0;"), 0);
    EXPECT_TRUE(recorder.audio.empty());
}

TEST_F(TciClientTest, DestroyedClientClosesPolitelyAndStaysSilent)
{
    startServer();
    connect();
    ASSERT_TRUE(waitForAudio(2));
    const size_t logs = recorder.logs.size();
    client.reset();
    EXPECT_TRUE(waitUntil([&] { return serverLogged("[1] disconnected, close code 1000"); }, 2000));
    EXPECT_TRUE(serverLogged("[1] << audio_stop:0;"));
    EXPECT_EQ(recorder.logs.size(), logs);
}
