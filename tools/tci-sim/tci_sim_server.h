// The network side of zarvo-tci-sim: a WebSocket server that runs one
// TciSimSession per client on the Qt event loop of its thread.
#pragma once

#include "tci_sim_options.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWebSocketServer;
struct TCI_SIM_OUTPUT;
struct WAV_AUDIO;

class TciSimServer {
public:
    using LogSink = std::function<void(const std::string&)>;

    // `wav` is needed for TCI_SIM_SOURCE::Wav and may be null otherwise.
    TciSimServer(const TCI_SIM_OPTIONS& options, std::shared_ptr<const WAV_AUDIO> wav, LogSink log);
    ~TciSimServer();
    TciSimServer(const TciSimServer&) = delete;
    TciSimServer& operator=(const TciSimServer&) = delete;

    bool listen(std::string* error);
    uint16_t port() const;
    size_t clientCount() const;

private:
    struct Client;
    void accept();
    void tick(Client* client);
    void run(Client* client, const TCI_SIM_OUTPUT& out);
    void drop(Client* client);
    void log(const std::string& line);

    TCI_SIM_OPTIONS options_;
    std::shared_ptr<const WAV_AUDIO> wav_;
    LogSink log_;
    std::unique_ptr<QWebSocketServer> server_;
    std::vector<std::unique_ptr<Client>> clients_;
    int nextClient_ = 1;
};
