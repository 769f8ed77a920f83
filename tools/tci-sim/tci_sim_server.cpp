#include "tci_sim_server.h"

#include "tci_sim_session.h"
#include "wav_file.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>

namespace {

// Often enough that small frames at the highest rate still go out on time.
constexpr int kTickMs = 5;

QHostAddress listen_address(const std::string& host)
{
    if (host == "localhost")
        return QHostAddress(QHostAddress::LocalHost);
    return QHostAddress(QString::fromStdString(host));
}

}  // namespace

struct TciSimServer::Client {
    Client(int n, QWebSocket* s, const TCI_SIM_OPTIONS& options, const WAV_AUDIO* wav)
        : number(n), socket(s), session(options, wav)
    {
    }
    int number;
    QWebSocket* socket;
    TciSimSession session;
    QElapsedTimer clock;
    QTimer timer;
    bool closing = false;
    bool closeFrame = false;  // a close frame went one way or the other
    bool aborted = false;     // dropped by this side

    double now() const { return clock.nsecsElapsed() / 1e9; }
};

TciSimServer::TciSimServer(const TCI_SIM_OPTIONS& options, std::shared_ptr<const WAV_AUDIO> wav, LogSink log)
    : options_(options), wav_(std::move(wav)), log_(std::move(log)),
      server_(std::make_unique<QWebSocketServer>(QStringLiteral("zarvo-tci-sim"), QWebSocketServer::NonSecureMode))
{
    QObject::connect(server_.get(), &QWebSocketServer::newConnection, server_.get(), [this] { accept(); });
}

TciSimServer::~TciSimServer()
{
    server_->close();
    for (const std::unique_ptr<Client>& client : clients_) {
        QObject::disconnect(client->socket, nullptr, server_.get(), nullptr);
        client->socket->abort();
    }
    clients_.clear();
}

bool TciSimServer::listen(std::string* error)
{
    const QHostAddress address = listen_address(options_.host);
    if (address.isNull()) {
        if (error)
            *error = "not an IP address: " + options_.host;
        return false;
    }
    if (server_->listen(address, static_cast<quint16>(options_.port)))
        return true;
    if (error)
        *error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port) + ": " +
                 server_->errorString().toStdString();
    return false;
}

uint16_t TciSimServer::port() const
{
    return server_->serverPort();
}

size_t TciSimServer::clientCount() const
{
    return clients_.size();
}

void TciSimServer::accept()
{
    while (QWebSocket* socket = server_->nextPendingConnection()) {
        const WAV_AUDIO* wav = options_.source == TCI_SIM_SOURCE::Wav ? wav_.get() : nullptr;
        clients_.push_back(std::make_unique<Client>(nextClient_++, socket, options_, wav));
        Client* client = clients_.back().get();
        log("[" + std::to_string(client->number) + "] connected from " +
            socket->peerAddress().toString().toStdString() + ":" + std::to_string(socket->peerPort()));
        QObject::connect(socket, &QWebSocket::textMessageReceived, server_.get(), [this, client](const QString& text) {
            TCI_SIM_OUTPUT out;
            client->session.receive(text.toStdString(), client->now(), &out);
            run(client, out);
        });
        QObject::connect(socket, &QWebSocket::aboutToClose, server_.get(), [client] { client->closeFrame = true; });
        QObject::connect(socket, &QWebSocket::disconnected, server_.get(), [this, client] { drop(client); });
        QObject::connect(&client->timer, &QTimer::timeout, server_.get(), [this, client] { tick(client); });
        client->clock.start();
        client->timer.setTimerType(Qt::PreciseTimer);
        client->timer.start(kTickMs);
        TCI_SIM_OUTPUT out;
        client->session.open(client->now(), &out);
        run(client, out);
    }
}

void TciSimServer::tick(Client* client)
{
    TCI_SIM_OUTPUT out;
    client->session.tick(client->now(), &out);
    run(client, out);
}

void TciSimServer::run(Client* client, const TCI_SIM_OUTPUT& out)
{
    const std::string tag = "[" + std::to_string(client->number) + "] ";
    for (const std::string& line : out.log)
        log(tag + line);
    for (const TCI_SIM_MESSAGE& message : out.messages) {
        if (message.binary)
            client->socket->sendBinaryMessage(QByteArray(reinterpret_cast<const char*>(message.bytes.data()),
                                                         static_cast<qsizetype>(message.bytes.size())));
        else
            client->socket->sendTextMessage(QString::fromStdString(message.text));
    }
    if (out.abort) {
        client->aborted = true;
        client->timer.stop();
        client->socket->abort();
    }
}

// The socket is still inside its own signal here, so it and its record go
// once the event loop is back.
void TciSimServer::drop(Client* client)
{
    if (client->closing)
        return;
    client->closing = true;
    client->timer.stop();
    const bool coded = client->closeFrame && !client->aborted;
    std::string line = "[" + std::to_string(client->number) + "] disconnected";
    line += coded ? ", close code " + std::to_string(client->socket->closeCode()) : " without a close frame";
    if (coded && !client->socket->closeReason().isEmpty())
        line += " (" + client->socket->closeReason().toStdString() + ")";
    log(line);
    client->socket->deleteLater();
    QTimer::singleShot(0, server_.get(), [this, client] {
        std::erase_if(clients_, [client](const std::unique_ptr<Client>& c) { return c.get() == client; });
    });
}

void TciSimServer::log(const std::string& line)
{
    if (log_)
        log_(line);
}
