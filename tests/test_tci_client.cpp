// The client against the simulator on loopback, both on this thread's
// event loop.
#include "qt_wait.h"
#include "TCIClient.h"
#include "tci_commands.h"
#include "tci_sim_faults.h"
#include "tci_sim_server.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

using Lines = std::vector<std::string>;

bool has(const Lines& lines, const std::string& line)
{
    return std::ranges::find(lines, line) != lines.end();
}
size_t count_prefixed(const Lines& lines, const std::string& prefix)
{
    return std::ranges::count_if(lines, [&](const std::string& l) { return l.starts_with(prefix); });
}

class Recorder : public TCIClientDelegate {
public:
    QElapsedTimer clock;
    Lines logs, events, texts;  // events: "connect", "disconnect"
    std::vector<TCI_ERROR> errors;
    std::vector<TCIStreamInfo> binaries;
    std::vector<std::vector<float>> audio;  // channel 0 of each audio frame
    std::vector<double> audioAt;
    std::vector<TCIStreamInfo> rateZero;

    void tciClientDidLogLine(TCIClient*, const std::string& line) override { logs.push_back(line); }
    void tciClientDidConnect(TCIClient*) override { events.push_back("connect"); }
    void tciClientDidDisconnectWithError(TCIClient*, const TCI_ERROR& e) override
    {
        events.push_back("disconnect"), errors.push_back(e);
    }
    void tciClientDidReceiveTextMessage(TCIClient*, const std::string& text) override { texts.push_back(text); }
    void tciClientDidReceiveBinaryMessageWithLength(TCIClient*, uint64_t length, TCIStreamInfo info) override
    {
        EXPECT_EQ(length, info.messageBytes);
        binaries.push_back(info);
    }
    void tciClientDidReceiveRxAudioFrameData(TCIClient*, const uint8_t* data, size_t size, TCIStreamInfo info) override
    {
        EXPECT_EQ(size, info.messageBytes);
        std::vector<float> channel0(info.frameCount);
        for (size_t i = 0; i < channel0.size(); ++i)
            std::memcpy(&channel0[i], data + 64 + 4 * i * info.channels, 4);
        audio.push_back(channel0);
        audioAt.push_back(clock.nsecsElapsed() / 1e9);
    }
    void tciClientDidReceiveRateZeroAudioFrameData(TCIClient*, const uint8_t*, size_t, TCIStreamInfo info) override
    {
        rateZero.push_back(info);
    }
};

// The simulator's ramp counts up by 1/4096 a sample across frames, so a
// lost, doubled or reordered frame breaks the count.
::testing::AssertionResult ramp_continues(const std::vector<std::vector<float>>& frames)
{
    long expected = -1;
    for (size_t f = 0; f < frames.size(); ++f) {
        for (size_t i = 0; i < frames[f].size(); ++i) {
            const long step = std::lround(frames[f][i] * 4096.0);
            if (expected >= 0 && step != expected)
                return ::testing::AssertionFailure() << "frame " << f << " sample " << i << " is " << step;
            expected = (step + 1) % 4096;
        }
    }
    return ::testing::AssertionSuccess();
}

// A server that completes the WebSocket handshake and then writes whatever
// frames a test gives it, for faults the simulator's own WebSocket layer
// refuses to make.
class RawWebSocketServer {
public:
    RawWebSocketServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            socket_ = server_.nextPendingConnection();
            QObject::connect(socket_, &QTcpSocket::readyRead, [this] { answer(); });
        });
    }
    uint16_t port() const { return server_.serverPort(); }
    bool open() const { return open_; }
    void send(const QByteArray& frame) { socket_->write(frame); }
    void drop() { socket_->abort(); }

    // Unmasked, as a server sends them.
    static QByteArray text(const QByteArray& payload) { return QByteArray(1, '\x81') + char(payload.size()) + payload; }
    static QByteArray close(uint16_t code, const QByteArray& reason)
    {
        const QByteArray payload = QByteArray(1, char(code >> 8)) + char(code & 0xFF) + reason;
        return QByteArray(1, '\x88') + char(payload.size()) + payload;
    }

private:
    void answer()
    {
        request_ += socket_->readAll();
        if (open_ || !request_.contains("\r\n\r\n"))
            return;
        const qsizetype start = request_.indexOf("Sec-WebSocket-Key: ") + 19;
        const QByteArray key = request_.mid(start, request_.indexOf("\r\n", start) - start);
        const QByteArray accept =
            QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11", QCryptographicHash::Sha1).toBase64();
        socket_->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Accept: " +
                       accept + "\r\n\r\n");
        open_ = true;
    }

    QTcpServer server_;
    QTcpSocket* socket_ = nullptr;
    QByteArray request_;
    bool open_ = false;
};

TCI_SIM_OPTIONS ramp_options()
{
    TCI_SIM_OPTIONS o;
    o.source = TCI_SIM_SOURCE::Ramp, o.sampleRate = 8000, o.frameSamples = 160;  // 50 frames a second
    return o;
}

class TciClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("test_tci_client"), nullptr};
        [[maybe_unused]] static auto* app = new QCoreApplication(argc, argv);
        alarm(30);  // a hung test is killed rather than left to block the run
        recorder.clock.start();
        client = std::make_unique<TCIClient>();
        client->setDelegate(&recorder);
    }
    void TearDown() override
    {
        client.reset();
        qt_wait::settle(150);  // lets closes under way finish
        server.reset(), alarm(0);
    }

    void startServer(TCI_SIM_OPTIONS options = ramp_options())
    {
        options.host = "127.0.0.1", options.port = 0;
        server = std::make_unique<TciSimServer>(options, nullptr, [this](const std::string& line) {
            serverLines.emplace_back(recorder.clock.nsecsElapsed() / 1e9, line);
        });
        std::string error;
        ASSERT_TRUE(server->listen(&error)) << error;
        port = server->port();
    }
    void connect() { client->connectToHost("127.0.0.1", port); }
    bool waitForAudio(size_t n, int ms = 3000)
    {
        return qt_wait::until([&] { return recorder.audio.size() >= n; }, ms);
    }
    bool waitForServer(const std::string& line)
    {
        return qt_wait::until([&] { return serverAt(line) >= 0.0; }, 2000);
    }
    // Commands the server received from its n-th client, and when.
    Lines received(int n, std::vector<double>* at = nullptr) const
    {
        const std::string tag = "[" + std::to_string(n) + "] << ";
        Lines out;
        for (const auto& [when, text] : serverLines)
            if (text.starts_with(tag)) {
                out.push_back(text.substr(tag.size()));
                if (at)
                    at->push_back(when);
            }
        return out;
    }
    double serverAt(const std::string& line) const
    {
        const auto found = std::ranges::find(serverLines, line, &std::pair<double, std::string>::second);
        return found == serverLines.end() ? -1.0 : found->first;
    }

    const Lines startup = {kTCIStartupCommands.begin(), kTCIStartupCommands.end()};
    Recorder recorder;
    std::unique_ptr<TCIClient> client;
    std::unique_ptr<TciSimServer> server;
    std::vector<std::pair<double, std::string>> serverLines;
    uint16_t port = 0;
};

}  // namespace

// Text given before the opening handshake waits for it and goes first.
TEST_F(TciClientTest, StartupCommandsGoOutFiftyMsApartFramesArriveInOrderAndDisconnectIsPolite)
{
    startServer();
    connect();
    EXPECT_FALSE(client->isOpen());  // the handshake is still to come
    client->sendText("cw_macros_speed:30;");
    ASSERT_TRUE(waitForAudio(26));
    std::vector<double> at;
    Lines wanted = startup;
    wanted.insert(wanted.begin(), "cw_macros_speed:30;");
    ASSERT_EQ(received(1, &at), wanted);
    const double spacing = (at.back() - at[1]) / 10.0;
    EXPECT_TRUE(spacing > 0.040 && spacing < 0.100) << spacing;
    for (std::string& line : wanted)
        line = ">> " + line;
    wanted.insert(wanted.begin(), {"Connecting to ws://127.0.0.1:" + std::to_string(port), "Connected"});
    EXPECT_EQ(recorder.logs, wanted);
    EXPECT_EQ(recorder.events, Lines{"connect"});
    EXPECT_TRUE(client->isConnected() && client->isOpen());
    EXPECT_TRUE(has(recorder.texts, "audio_stream_samples:160;"));  // replies arrive unchanged
    EXPECT_TRUE(recorder.binaries.size() == recorder.audio.size() && recorder.audio.front().front() == 0.0f);
    EXPECT_TRUE(ramp_continues(recorder.audio));
    for (const TCIStreamInfo& info : recorder.binaries)
        EXPECT_TRUE(info.sampleRate == 8000 && info.channels == 1);
    const double span = recorder.audioAt[25] - recorder.audioAt[0];  // 25 frames of 20 ms
    EXPECT_TRUE(span > 0.3 && span < 1.0) << span;

    // Disconnect closes with code 1000 after audio_stop; destruction does so silently.
    client->disconnect();
    EXPECT_TRUE(!client->isConnected() && !client->isOpen() && client->isIntentionallyClosed());
    const size_t frames = recorder.audio.size();
    EXPECT_EQ(Lines(recorder.logs.end() - 2, recorder.logs.end()), (Lines{"Disconnecting", ">> audio_stop:0;"}));
    ASSERT_TRUE(waitForServer("[1] disconnected, close code 1000"));
    EXPECT_GT(serverAt("[1] disconnected, close code 1000") - serverAt("[1] << audio_stop:0;"), 0.040);
    qt_wait::settle(100);
    EXPECT_TRUE(recorder.errors.empty() && recorder.audio.size() == frames);

    connect();
    ASSERT_TRUE(waitForAudio(frames + 2));
    const size_t logs = recorder.logs.size();
    client.reset();
    EXPECT_TRUE(waitForServer("[2] disconnected, close code 1000"));
    EXPECT_GE(serverAt("[2] << audio_stop:0;"), 0.0);
    EXPECT_EQ(recorder.logs.size(), logs);
}

TEST_F(TciClientTest, RefusedPortAndAbruptServerCloseAreEachReportedOnce)
{
    client->sendText("cw_macros_stop;");  // without a link nothing is sent or logged
    client->disconnect();
    EXPECT_TRUE(recorder.logs.empty());
    QTcpServer probe;  // a port that was free a moment ago
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
    probe.close();
    connect();
    client->sendText("cw_macros:0,CQ;");
    ASSERT_TRUE(qt_wait::until([&] { return !recorder.errors.empty(); }, 3000));
    qt_wait::settle(700);
    EXPECT_TRUE(recorder.errors[0].domain == "QAbstractSocket" &&
                recorder.errors[0].code == QAbstractSocket::ConnectionRefusedError);
    EXPECT_EQ(count_prefixed(recorder.logs, ">> "), 0u);
    EXPECT_TRUE(std::ranges::any_of(recorder.logs, [](const std::string& l) {
        return l.starts_with("Send error: ") && l.ends_with("(not sent: cw_macros:0,CQ;)");
    }));

    TCI_SIM_OPTIONS o = ramp_options();
    o.closeAfterSeconds = 0.8;
    startServer(o);
    connect();
    ASSERT_TRUE(qt_wait::until([&] { return recorder.errors.size() >= 2; }, 3000));
    qt_wait::settle(300);
    EXPECT_FALSE(recorder.audio.empty());
    EXPECT_EQ(recorder.events, (Lines{"connect", "disconnect", "connect", "disconnect"}));
    EXPECT_EQ(count_prefixed(recorder.logs, "Disconnected: "), 2u);
    EXPECT_FALSE(client->isConnected() || client->isIntentionallyClosed());
}

// The link stays up, the good frames keep their order, every text arrives
// unchanged and nothing is reported as an error.
TEST_F(TciClientTest, MalformedFramesAndGarbageTextLeaveTheLinkAndTheStreamAlone)
{
    TCI_SIM_OPTIONS o = ramp_options();
    o.malformedEvery = o.garbageEvery = 2;
    startServer(o);
    connect();
    ASSERT_TRUE(waitForAudio(2 * tci_sim_garbage_count() + 2, 4000));
    EXPECT_TRUE(ramp_continues(recorder.audio));
    EXPECT_TRUE(recorder.errors.empty() && client->isConnected());
    EXPECT_GE(recorder.binaries.size(), recorder.audio.size() + tci_sim_malformed_kinds());
    const auto cut =
        std::ranges::find_if(recorder.binaries, [](const TCIStreamInfo& i) { return i.messageBytes < 64; });
    ASSERT_NE(cut, recorder.binaries.end());
    EXPECT_EQ(cut->headerBytes, 0u);
    for (size_t i = 0; i < tci_sim_garbage_count(); ++i)
        EXPECT_TRUE(has(recorder.texts, tci_sim_garbage_text(i))) << i;
    // The frame with rate 0 goes to its own call, never with the audio.
    ASSERT_FALSE(recorder.rateZero.empty());
    EXPECT_TRUE(recorder.rateZero[0].sampleRate == 0 && recorder.rateZero[0].frameCount == 160);
}

TEST_F(TciClientTest, DisconnectBeforeTheHandshakeReportsWhatWasNotSent)
{
    QTcpServer silent;  // accepts and never answers the opening handshake
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    port = silent.serverPort();
    connect();
    client->sendText("cw_macros_stop;");
    ASSERT_TRUE(qt_wait::until([&] { return silent.hasPendingConnections(); }, 2000));
    qt_wait::settle(120);  // the first start-up commands come due and wait too
    client->disconnect();
    const std::string reason = "Send error: the connection was closed before it opened (not sent: ";
    EXPECT_TRUE(has(recorder.logs, reason + "cw_macros_stop;)") &&
                has(recorder.logs, reason + "protocol:ExpertSDR3;)"));
    EXPECT_EQ(recorder.logs.back(), reason + "audio_stop:0;)");
    qt_wait::settle(100);
    EXPECT_EQ(count_prefixed(recorder.logs, ">> "), 0u);
    EXPECT_FALSE(has(recorder.logs, "Connected") || has(recorder.logs, reason + "audio_start:0;)"));  // no link
    EXPECT_EQ(recorder.events, Lines{"connect"});
}

// Qt closes the link itself with code 1007 on text that is not UTF-8; the
// report must not blame the server's close for it.
TEST_F(TciClientTest, EachEndOfTheLinkNamesWhoEndedIt)
{
    const auto endWith = [&](const std::function<void(RawWebSocketServer&)>& fault) {
        RawWebSocketServer raw;
        recorder.errors.clear();
        client->connectToHost("127.0.0.1", raw.port());
        EXPECT_TRUE(qt_wait::until([&] { return raw.open() && client->isOpen(); }, 2000));
        fault(raw);
        EXPECT_TRUE(qt_wait::until([&] { return !recorder.errors.empty(); }, 2000));
        qt_wait::settle(50);
        EXPECT_FALSE(client->isConnected());
        return recorder.errors.size() == 1 ? recorder.errors[0].description
                                           : "reports: " + std::to_string(recorder.errors.size());
    };
    EXPECT_EQ(endWith([](RawWebSocketServer& raw) { raw.send(RawWebSocketServer::text("\xC3\x28")); }),
              "the client closed the connection because the server sent text that is not valid UTF-8 (code 1007)");
    EXPECT_EQ(endWith([](RawWebSocketServer& raw) { raw.send(RawWebSocketServer::close(1001, "restarting")); }),
              "the server closed the connection (code 1001): restarting");
    EXPECT_EQ(endWith([](RawWebSocketServer& raw) { raw.send(RawWebSocketServer::close(1007, "")); }),
              "the server closed the connection (code 1007)");
    const std::string dropped = endWith([](RawWebSocketServer& raw) { raw.drop(); });
    EXPECT_TRUE(dropped.starts_with("the connection was lost")) << dropped;
    EXPECT_TRUE(has(recorder.logs, "Disconnected: " + dropped));
}

TEST_F(TciClientTest, AServerThatNeverAnswersTheHandshakeIsReportedAfterTheTimeout)
{
    QTcpServer silent;  // accepts and never answers the opening handshake
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    port = silent.serverPort();
    client->setHandshakeTimeoutMs(400);
    connect();
    client->sendText("cw_macros:0,CQ;");
    ASSERT_TRUE(qt_wait::until([&] { return !recorder.errors.empty(); }, 3000));
    const double after = recorder.clock.nsecsElapsed() / 1e9;
    EXPECT_TRUE(after > 0.35 && after < 1.5) << after;
    EXPECT_EQ(recorder.errors[0].description, "no answer from the TCI server at 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(recorder.events, (Lines{"connect", "disconnect"}));
    EXPECT_FALSE(client->isConnected() || client->isOpen() || client->isIntentionallyClosed());
    // The user's text is reported unsent; the start-up commands due meanwhile are not listed.
    EXPECT_EQ(count_prefixed(recorder.logs, "Send error: "), 1u);
    EXPECT_TRUE(has(recorder.logs, "Send error: " + recorder.errors[0].description + " (not sent: cw_macros:0,CQ;)"));
    qt_wait::settle(200);
    EXPECT_EQ(recorder.errors.size(), 1u);  // the abort that follows is not a second report
}
