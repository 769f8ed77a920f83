// WebSocket client of a TCI server. Opens ws://host:port, asks for a mono
// float32 receive audio stream, hands every message to its delegate on the
// thread that owns the client, and closes politely. It does not interpret
// text messages. Needs a running Qt event loop on the owning thread.
#pragma once

#include "TCIStreamInfo.h"
#include "tci_error.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QWebSocket;
class TCIClient;

// A server that accepts the connection but does not complete the WebSocket
// handshake within this is reported as not answering.
constexpr int kTCIHandshakeTimeoutMs = 10000;

// Receiver of every event of a TCIClient; the client never owns it. All
// calls happen on the client's thread, in the order the events arrived.
class TCIClientDelegate {
public:
    virtual void tciClientDidLogLine(TCIClient* client, const std::string& line) = 0;
    // A connection attempt has started.
    virtual void tciClientDidConnect(TCIClient* client) = 0;
    // The connection failed, timed out or ended without disconnect(); the
    // description names who ended it.
    virtual void tciClientDidDisconnectWithError(TCIClient* client, const TCI_ERROR& error) = 0;
    // One whole text message, unchanged; it may hold several commands.
    virtual void tciClientDidReceiveTextMessage(TCIClient* client, const std::string& text) = 0;
    // Every binary message, usable or not.
    virtual void tciClientDidReceiveBinaryMessageWithLength(TCIClient* client, uint64_t length,
                                                            TCIStreamInfo streamInfo) = 0;
    // Only usable float32 receive audio; data is the whole message, header included,
    // valid during the call.
    virtual void tciClientDidReceiveRxAudioFrameData(TCIClient* client, const uint8_t* data, size_t size,
                                                     TCIStreamInfo streamInfo) = 0;
    // Float32 receive audio that is usable but for a header rate of 0 (see
    // tci_stream_info_at_rate); ignored unless a delegate takes it.
    virtual void tciClientDidReceiveRateZeroAudioFrameData(TCIClient*, const uint8_t*, size_t, TCIStreamInfo) {}

protected:
    ~TCIClientDelegate() = default;
};

class TCIClient {
public:
    TCIClient();
    // Closes politely without telling the delegate.
    ~TCIClient();
    TCIClient(const TCIClient&) = delete;
    TCIClient& operator=(const TCIClient&) = delete;

    void setDelegate(TCIClientDelegate* delegate);
    TCIClientDelegate* delegate() const;
    // For the next connections; tests shorten it.
    void setHandshakeTimeoutMs(int ms);

    // True from a connection attempt until disconnect() or a failure.
    bool isConnected() const;
    // True once the opening handshake has completed, until the link ends.
    bool isOpen() const;
    // True from disconnect() until the next connectToHost().
    bool isIntentionallyClosed() const;

    // Closes any current connection first. A bad host or port is logged as
    // "Invalid URL: ..." and nothing else happens.
    void connectToHost(const std::string& host, uint64_t port);
    // Sends "audio_stop:0;" and closes with code 1000 after kTCICloseDelayMs.
    void disconnect();
    // Without a connection does nothing. Text given before the opening
    // handshake completes waits for it; text that cannot go out is logged
    // as a "Send error: ..." naming it.
    void sendText(const std::string& text);
    void sendBinaryData(const uint8_t* data, size_t size);

    static TCIStreamInfo parseStreamInfoFromData(const uint8_t* data, size_t size);

private:
    enum class LinkState { Opening, Open, Failed };
    // One connection; delayed work and socket events carry its id so that
    // nothing of an old connection reaches a newer one.
    struct Link {
        uint64_t id;
        QWebSocket* socket;
        LinkState state = LinkState::Opening;
        bool connectReported = false;
        bool closeSeen = false;  // a close frame went one way or the other
        std::string host;
        uint64_t port = 0;
        std::vector<std::string> waiting;  // sent before the handshake completed
    };

    Link* current(uint64_t id);
    void watch(const Link& link);
    void sendInitialTCICommands(uint64_t id);
    void reportConnect(uint64_t id);
    void onOpened(uint64_t id);
    void onText(uint64_t id, const QString& text);
    void onBinary(uint64_t id, const QByteArray& message);
    void onDisconnected(uint64_t id);
    void onHandshakeTimeout(uint64_t id);
    void onFailure(uint64_t id, const TCI_ERROR& error);
    void transmit(Link& link, const std::string& text);
    void reportUnsent(const std::string& reason, const std::vector<std::string>& texts);
    void logLine(const std::string& line);

    QObject context_;  // ends every timer and socket connection with the client
    TCIClientDelegate* delegate_ = nullptr;
    std::unique_ptr<Link> link_;
    uint64_t nextLinkId_ = 1;
    int handshakeTimeoutMs_ = kTCIHandshakeTimeoutMs;
    bool connected_ = false;
    bool intentionallyClosed_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // watched across delegate calls
};
