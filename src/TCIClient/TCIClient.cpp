#include "TCIClient.h"

#include "tci_commands.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <utility>

namespace {

// A server that never answers the close frame is cut off after this.
constexpr int kCloseTimeoutMs = 3000;

std::string error_text(const QWebSocket& socket, const char* fallback)
{
    return socket.error() == QAbstractSocket::UnknownSocketError ? fallback : socket.errorString().toStdString();
}

// Qt reports its own close for a fault in what the server sent with the
// same signals as a close by the server; only the reason tells them apart,
// which tci_close_text reads. A socket error before the handshake is why the
// connection failed; after it, why the link was lost.
TCI_ERROR link_error(const QWebSocket& socket, bool open, bool closeSeen)
{
    const std::string reason = socket.errorString().toStdString();
    if (closeSeen)
        return TCI_ERROR{"QWebSocketProtocol", static_cast<long>(socket.closeCode()),
                         tci_close_text(socket.closeCode(), socket.closeReason().toStdString())};
    const auto code = static_cast<long>(socket.error());
    if (socket.error() == QAbstractSocket::UnknownSocketError)
        return TCI_ERROR{"QAbstractSocket", code, tci_lost_text("")};
    return TCI_ERROR{"QAbstractSocket", code, open ? tci_lost_text(reason) : reason};
}

// A socket the client has let go of lives on by itself until its close has
// gone out; it belongs to the application so that it cannot outlive it.
void retire(QWebSocket* socket)
{
    socket->setParent(QCoreApplication::instance());
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kTCICloseDelayMs, socket, [socket] { socket->close(QWebSocketProtocol::CloseCodeNormal); });
    QTimer::singleShot(kTCICloseDelayMs + kCloseTimeoutMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

}  // namespace

TCIClient::TCIClient() = default;

TCIClient::~TCIClient()
{
    delegate_ = nullptr;
    disconnect();
}

void TCIClient::setDelegate(TCIClientDelegate* delegate)
{
    delegate_ = delegate;
}

TCIClientDelegate* TCIClient::delegate() const
{
    return delegate_;
}

void TCIClient::setHandshakeTimeoutMs(int ms)
{
    handshakeTimeoutMs_ = ms;
}

bool TCIClient::isConnected() const
{
    return connected_;
}

bool TCIClient::isOpen() const
{
    return connected_ && link_ && link_->state == LinkState::Open;
}

bool TCIClient::isIntentionallyClosed() const
{
    return intentionallyClosed_;
}

TCIStreamInfo TCIClient::parseStreamInfoFromData(const uint8_t* data, size_t size)
{
    return ::parseStreamInfoFromData(data, size);
}

void TCIClient::connectToHost(const std::string& host, uint64_t port)
{
    if (link_)
        disconnect();
    const TCI_URL url = tci_make_url(host, port);
    const QUrl address(QString::fromStdString(url.text), QUrl::StrictMode);
    if (!url.acceptable || !address.isValid()) {
        logLine("Invalid URL: " + url.text);
        return;
    }
    intentionallyClosed_ = false;
    logLine("Connecting to " + url.text);
    link_ = std::make_unique<Link>(
        Link{.id = nextLinkId_++, .socket = new QWebSocket(), .host = host, .port = port, .waiting = {}});
    const uint64_t id = link_->id;
    watch(*link_);
    link_->socket->open(address);
    connected_ = true;
    QTimer::singleShot(0, &context_, [this, id] { reportConnect(id); });
    QTimer::singleShot(handshakeTimeoutMs_, Qt::PreciseTimer, &context_, [this, id] { onHandshakeTimeout(id); });
    sendInitialTCICommands(id);
}

void TCIClient::disconnect()
{
    intentionallyClosed_ = true;
    connected_ = false;
    std::unique_ptr<Link> link = std::move(link_);
    if (!link)
        return;
    QObject::disconnect(link->socket, nullptr, &context_, nullptr);
    logLine("Disconnecting");
    if (link->state == LinkState::Open) {
        const QString stop = QString::fromLatin1(kTCIAudioStopCommand);
        if (link->socket->sendTextMessage(stop) != stop.size())
            logLine("Send error: " + error_text(*link->socket, "the message was not written"));
        logLine(std::string(kTCISentPrefix) + kTCIAudioStopCommand);
    } else {
        link->waiting.push_back(kTCIAudioStopCommand);
        const char* fallback = link->state == LinkState::Opening ? "the connection was closed before it opened"
                                                                 : "the connection is closed";
        reportUnsent(error_text(*link->socket, fallback), link->waiting);
    }
    retire(link->socket);
}

void TCIClient::sendText(const std::string& text)
{
    if (!link_)
        return;
    if (link_->state == LinkState::Opening)
        link_->waiting.push_back(text);
    else
        transmit(*link_, text);
}

void TCIClient::sendBinaryData(const uint8_t* data, size_t size)
{
    if (!link_ || !data || size == 0)
        return;
    if (link_->state != LinkState::Open) {
        logLine("Send binary error: " + error_text(*link_->socket, "the connection is not open"));
        return;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (link_->socket->sendBinaryMessage(bytes) != bytes.size())
        logLine("Send binary error: " + error_text(*link_->socket, "the message was not written"));
}

TCIClient::Link* TCIClient::current(uint64_t id)
{
    return link_ && link_->id == id ? link_.get() : nullptr;
}

void TCIClient::watch(const Link& link)
{
    QWebSocket* const socket = link.socket;
    const uint64_t id = link.id;
    QObject::connect(socket, &QWebSocket::connected, &context_, [this, id] { onOpened(id); });
    QObject::connect(socket, &QWebSocket::textMessageReceived, &context_,
                     [this, id](const QString& text) { onText(id, text); });
    QObject::connect(socket, &QWebSocket::binaryMessageReceived, &context_,
                     [this, id](const QByteArray& message) { onBinary(id, message); });
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const auto errorSignal = &QWebSocket::errorOccurred;
#else
    const auto errorSignal = QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error);
#endif
    QObject::connect(socket, errorSignal, &context_, [this, id](QAbstractSocket::SocketError) {
        if (const Link* link = current(id))
            onFailure(id, link_error(*link->socket, link->state == LinkState::Open, link->closeSeen));
    });
    QObject::connect(socket, &QWebSocket::aboutToClose, &context_, [this, id] {
        if (Link* link = current(id))
            link->closeSeen = true;
    });
    QObject::connect(socket, &QWebSocket::disconnected, &context_,
                     [this, id] { QTimer::singleShot(0, &context_, [this, id] { onDisconnected(id); }); });
}

// Qt may report a refused or broken connection as a disconnection first and
// the socket error after it; waiting one turn lets the error speak.
void TCIClient::onDisconnected(uint64_t id)
{
    const Link* link = current(id);
    if (link)
        onFailure(id, link_error(*link->socket, link->state == LinkState::Open, link->closeSeen));
}

// A server that took the connection and went quiet would otherwise leave
// the link opening for as long as the system keeps the socket.
void TCIClient::onHandshakeTimeout(uint64_t id)
{
    Link* link = current(id);
    if (!link || link->state != LinkState::Opening)
        return;
    // The client's own start-up goes out again with the next connection;
    // only text given by the user is worth a line each.
    std::erase_if(link->waiting, [](const std::string& text) {
        return std::ranges::find(kTCIStartupCommands, text) != kTCIStartupCommands.end();
    });
    onFailure(id, TCI_ERROR{"TCIClient", 0, tci_no_answer_text(link->host, link->port)});
    if (const Link* still = current(id))
        still->socket->abort();
}

void TCIClient::sendInitialTCICommands(uint64_t id)
{
    for (size_t k = 0; k < kTCIStartupCommands.size(); ++k) {
        const int delayMs = static_cast<int>(k + 1) * kTCIStartupCommandSpacingMs;
        QTimer::singleShot(delayMs, Qt::PreciseTimer, &context_, [this, id, k] {
            if (current(id) && connected_)
                sendText(kTCIStartupCommands[k]);
        });
    }
}

void TCIClient::reportConnect(uint64_t id)
{
    Link* link = current(id);
    if (!link || link->connectReported)
        return;
    link->connectReported = true;
    if (delegate_)
        delegate_->tciClientDidConnect(this);
}

// Every call into the delegate may disconnect or reconnect, so the link is
// looked up again after each one.
void TCIClient::onOpened(uint64_t id)
{
    Link* link = current(id);
    if (!link || link->state != LinkState::Opening)
        return;
    link->state = LinkState::Open;
    // Only now is the server known to speak WebSocket.
    logLine("Connected");
    const std::vector<std::string> waiting = std::exchange(link->waiting, {});
    for (size_t i = 0; i < waiting.size(); ++i) {
        link = current(id);
        if (!link) {
            reportUnsent("the connection was closed", {waiting.begin() + i, waiting.end()});
            return;
        }
        transmit(*link, waiting[i]);
    }
}

void TCIClient::onText(uint64_t id, const QString& text)
{
    if (current(id) && delegate_)
        delegate_->tciClientDidReceiveTextMessage(this, text.toStdString());
}

void TCIClient::onBinary(uint64_t id, const QByteArray& message)
{
    if (!current(id) || !delegate_)
        return;
    const auto* data = reinterpret_cast<const uint8_t*>(message.constData());
    const size_t size = static_cast<size_t>(message.size());
    const TCIStreamInfo info = parseStreamInfoFromData(data, size);
    const std::weak_ptr<bool> alive = alive_;
    delegate_->tciClientDidReceiveBinaryMessageWithLength(this, size, info);
    if (info.isRxAudioFloat32 && !alive.expired() && delegate_)
        delegate_->tciClientDidReceiveRxAudioFrameData(this, data, size, info);
    else if (tci_stream_rate_missing(info) && !alive.expired() && delegate_)
        delegate_->tciClientDidReceiveRateZeroAudioFrameData(this, data, size, info);
}

// Qt may report one failure twice (an error, then the disconnection); the
// first one is the report.
void TCIClient::onFailure(uint64_t id, const TCI_ERROR& error)
{
    Link* link = current(id);
    if (!link || link->state == LinkState::Failed)
        return;
    link->state = LinkState::Failed;
    connected_ = false;
    reportUnsent(error.description, std::exchange(link->waiting, {}));
    if (intentionallyClosed_ || !current(id))
        return;
    reportConnect(id);
    if (!current(id))
        return;
    logLine("Disconnected: " + error.description);
    if (current(id) && delegate_)
        delegate_->tciClientDidDisconnectWithError(this, error);
}

// Sends before logging: a log line may end the link, never the other way round.
void TCIClient::transmit(Link& link, const std::string& text)
{
    if (link.state != LinkState::Open) {
        reportUnsent(error_text(*link.socket, "the connection is closed"), {text});
        return;
    }
    const QString message = QString::fromStdString(text);
    const bool written = link.socket->sendTextMessage(message) == message.toUtf8().size();
    const std::string failure = written ? "" : error_text(*link.socket, "the message was not written");
    logLine(kTCISentPrefix + text);
    if (!written)
        logLine("Send error: " + failure);
}

void TCIClient::reportUnsent(const std::string& reason, const std::vector<std::string>& texts)
{
    for (const std::string& text : texts)
        logLine("Send error: " + reason + " (not sent: " + text + ")");
}

void TCIClient::logLine(const std::string& line)
{
    if (delegate_)
        delegate_->tciClientDidLogLine(this, line);
}
