#include "TCIClient.h"

#include "tci_commands.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <utility>

namespace {

// A server that never answers the close frame is cut off after this.
constexpr int kCloseTimeoutMs = 3000;

std::string error_text(const QWebSocket& socket, const char* fallback)
{
    return socket.error() == QAbstractSocket::UnknownSocketError ? fallback : socket.errorString().toStdString();
}

TCI_ERROR socket_error(const QWebSocket& socket, QAbstractSocket::SocketError code)
{
    return TCI_ERROR{"QAbstractSocket", static_cast<long>(code), socket.errorString().toStdString()};
}

TCI_ERROR close_error(const QWebSocket& socket)
{
    std::string text = "The server closed the connection (close code " + std::to_string(socket.closeCode()) + ")";
    if (!socket.closeReason().isEmpty())
        text += ": " + socket.closeReason().toStdString();
    return TCI_ERROR{"QWebSocketProtocol", static_cast<long>(socket.closeCode()), text};
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
    link_ = std::make_unique<Link>(Link{nextLinkId_++, new QWebSocket(), LinkState::Opening, false, {}});
    const uint64_t id = link_->id;
    watch(*link_);
    link_->socket->open(address);
    connected_ = true;
    QTimer::singleShot(0, &context_, [this, id] { reportConnect(id); });
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
    QObject::connect(socket, errorSignal, &context_, [this, id, socket](QAbstractSocket::SocketError code) {
        onFailure(id, socket_error(*socket, code));
    });
    QObject::connect(socket, &QWebSocket::disconnected, &context_,
                     [this, id] { QTimer::singleShot(0, &context_, [this, id] { onDisconnected(id); }); });
}

// Qt may report a refused or broken connection as a disconnection first and
// the socket error after it; waiting one turn lets the error speak.
void TCIClient::onDisconnected(uint64_t id)
{
    const Link* link = current(id);
    if (!link)
        return;
    const QWebSocket& socket = *link->socket;
    onFailure(id, socket.error() != QAbstractSocket::UnknownSocketError ? socket_error(socket, socket.error())
                                                                        : close_error(socket));
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
