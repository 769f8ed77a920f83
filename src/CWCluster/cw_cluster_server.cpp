#include "cw_cluster_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A logger's commands are short; a longer line is cut, so a client that
// never sends a line break cannot grow the server's memory.
constexpr size_t kMaxLineBytes = 256;
constexpr size_t kMaxCallBytes = 16;
constexpr size_t kReadChunk = 4096;
// Reads per client and poll: one client sending without pause must not
// keep the others, or the caller, waiting.
constexpr int kReadsPerPoll = 16;
constexpr int kAcceptsPerPoll = 32;
constexpr int kListenBacklog = 16;
// MSG_NOSIGNAL: a client that went away must not raise SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;

// Telnet clients open with option negotiation (IAC, 255); those bytes are
// no part of a call.
enum class TELNET { Data, Command, Option, Sub, SubCommand };
constexpr unsigned char kIac = 255, kSb = 250, kSe = 240, kWill = 251, kDont = 254;

struct CLIENT {
    int fd = -1;  // -1: closed, removed at the end of the poll
    bool loggedIn = false;
    std::string pending;  // output the socket has not taken yet
    std::string line;     // input up to the next line break
    TELNET telnet = TELNET::Data;
};

}  // namespace

struct CW_CLUSTER_SERVER {
    std::string node;
    int32_t maxClients = kCWClusterDefaultMaxClients;
    size_t maxPendingBytes = kCWClusterDefaultMaxPendingBytes;
    int listenFd = -1;
    int32_t port = 0;
    std::vector<CLIENT> clients;
    uint64_t dropped = 0;
    int32_t errorCode = 0;
    std::string error;
};

namespace {

void close_client(CLIENT* client)
{
    if (client->fd >= 0)
        close(client->fd);
    client->fd = -1;
    client->pending.clear();
}

// Sends what the socket takes now; false when the client is gone.
bool flush(CLIENT* client)
{
    while (!client->pending.empty()) {
        const ssize_t sent = send(client->fd, client->pending.data(), client->pending.size(), kSendFlags);
        if (sent > 0) {
            client->pending.erase(0, static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        close_client(client);
        return false;
    }
    return true;
}

// Queues and sends; a client whose unsent output would pass the bound is
// closed, so a logger that stopped reading costs bounded memory.
void queue(CW_CLUSTER_SERVER* server, CLIENT* client, const std::string& text)
{
    if (client->fd < 0)
        return;
    client->pending += text;
    if (flush(client) && client->pending.size() > server->maxPendingBytes) {
        close_client(client);
        ++server->dropped;
    }
}

std::string lower_trimmed(const std::string& text)
{
    const auto first = std::find_if(text.begin(), text.end(), [](char c) { return c != ' ' && c != '\t'; });
    const auto last = std::find_if(text.rbegin(), std::string::const_reverse_iterator(first), [](char c) {
                          return c != ' ' && c != '\t';
                      }).base();
    std::string lower(first, last);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// The call a login line gives: its first word, upper case, printable.
std::string login_call(const std::string& line)
{
    std::string call;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (call.empty())
                continue;
            break;
        }
        if (c > ' ' && c <= '~' && call.size() < kMaxCallBytes)
            call += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return call.empty() ? "UNKNOWN" : call;
}

void take_line(CW_CLUSTER_SERVER* server, CLIENT* client)
{
    const std::string line = client->line;
    client->line.clear();
    if (!client->loggedIn) {
        client->loggedIn = true;
        queue(server, client,
              "Hello " + login_call(line) + ", this is " + server->node + ". CW spots follow; \"bye\" ends.\r\n");
        return;
    }
    const std::string command = lower_trimmed(line);
    if (command == "bye" || command == "quit") {
        queue(server, client, "73 de " + server->node + "\r\n");
        close_client(client);
    }
    // Loggers send "set/..." and the like on login; there is nothing to set.
}

// Line breaks end a line; CR LF gives an empty line, and empty lines are
// skipped, so a login is the first line with something in it.
void take_byte(CW_CLUSTER_SERVER* server, CLIENT* client, unsigned char c)
{
    switch (client->telnet) {
    case TELNET::Command:
        client->telnet = c >= kWill && c <= kDont ? TELNET::Option : c == kSb ? TELNET::Sub : TELNET::Data;
        if (c != kIac)
            return;
        break;  // IAC IAC is a data byte 255
    case TELNET::Option: client->telnet = TELNET::Data; return;
    case TELNET::Sub:
        if (c == kIac)
            client->telnet = TELNET::SubCommand;
        return;
    case TELNET::SubCommand: client->telnet = c == kSe ? TELNET::Data : TELNET::Sub; return;
    case TELNET::Data:
        if (c == kIac) {
            client->telnet = TELNET::Command;
            return;
        }
        break;
    }
    if (c == '\r' || c == '\n') {
        if (!client->line.empty())
            take_line(server, client);
        return;
    }
    if (c >= ' ' && client->line.size() < kMaxLineBytes)
        client->line += static_cast<char>(c);
}

void read_client(CW_CLUSTER_SERVER* server, CLIENT* client)
{
    unsigned char buffer[kReadChunk];
    for (int i = 0; i < kReadsPerPoll && client->fd >= 0; ++i) {
        const ssize_t got = recv(client->fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got <= 0) {
            close_client(client);
            return;
        }
        for (ssize_t k = 0; k < got && client->fd >= 0; ++k)
            take_byte(server, client, buffer[k]);
    }
}

void accept_clients(CW_CLUSTER_SERVER* server)
{
    for (int i = 0; i < kAcceptsPerPoll; ++i) {
        const int fd = accept4(server->listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;  // nothing waiting, or the client gave up meanwhile
        const auto open =
            std::count_if(server->clients.begin(), server->clients.end(), [](const CLIENT& c) { return c.fd >= 0; });
        if (open >= server->maxClients) {
            // The socket is fresh: this short text fits its buffer.
            [[maybe_unused]] const ssize_t sent =
                send(fd, kCWClusterFullText, std::strlen(kCWClusterFullText), kSendFlags);
            close(fd);
            continue;
        }
        server->clients.emplace_back().fd = fd;
        queue(server, &server->clients.back(),
              "Hello, this is " + server->node + ", a CW skimmer.\r\n" + kCWClusterLoginPrompt);
    }
}

void remove_closed(CW_CLUSTER_SERVER* server)
{
    std::erase_if(server->clients, [](const CLIENT& c) { return c.fd < 0; });
}

bool fail(CW_CLUSTER_SERVER* server, const std::string& what, int err)
{
    server->errorCode = err;
    server->error = what + " failed: " + std::strerror(err);
    if (server->listenFd >= 0)
        close(server->listenFd);
    server->listenFd = -1;
    server->port = 0;
    return false;
}

bool start_listening(CW_CLUSTER_SERVER* server, const std::string& address, int32_t port)
{
    const std::string where = address + ":" + std::to_string(port);
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1)
        return fail(server, "bind address " + address, EINVAL);
    server->listenFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (server->listenFd < 0)
        return fail(server, "socket", errno);
    // A restart must not wait for the last run's connections to time out;
    // a port another program listens on still refuses the bind.
    const int yes = 1;
    setsockopt(server->listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(server->listenFd, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress) != 0)
        return fail(server, "bind " + where, errno);
    if (listen(server->listenFd, kListenBacklog) != 0)
        return fail(server, "listen " + where, errno);
    socklen_t length = sizeof socketAddress;
    if (getsockname(server->listenFd, reinterpret_cast<sockaddr*>(&socketAddress), &length) != 0)
        return fail(server, "getsockname " + where, errno);
    server->port = ntohs(socketAddress.sin_port);
    return true;
}

}  // namespace

CW_CLUSTER_SERVER* cw_cluster_server_create(const CW_CLUSTER_SERVER_CONFIG* config)
{
    const CW_CLUSTER_SERVER_CONFIG c = config ? *config : CW_CLUSTER_SERVER_CONFIG{};
    CW_CLUSTER_SERVER* server = new (std::nothrow) CW_CLUSTER_SERVER;
    if (server == nullptr)
        return nullptr;
    server->node = c.nodeName && *c.nodeName ? c.nodeName : "ZARVO";
    server->maxClients =
        c.maxClients > 0 ? std::min(c.maxClients, kCWClusterMaxClientsLimit) : kCWClusterDefaultMaxClients;
    server->maxPendingBytes =
        c.maxPendingBytes > 0 ? std::clamp(c.maxPendingBytes, kCWClusterMinPendingBytes, kCWClusterMaxPendingBytesLimit)
                              : kCWClusterDefaultMaxPendingBytes;
    const std::string address = c.bindAddress && *c.bindAddress ? c.bindAddress : kCWClusterDefaultBindAddress;
    start_listening(server, address, std::clamp(c.port, 0, 65535));
    return server;
}

int32_t cw_cluster_server_poll(CW_CLUSTER_SERVER* server, int timeoutMs)
{
    if (server == nullptr)
        return 0;
    std::vector<pollfd> fds;
    fds.reserve(server->clients.size() + 1);
    for (const CLIENT& client : server->clients)
        fds.push_back(pollfd{client.fd, static_cast<short>(POLLIN | (client.pending.empty() ? 0 : POLLOUT)), 0});
    if (server->listenFd >= 0)
        fds.push_back(pollfd{server->listenFd, POLLIN, 0});
    const int ready = poll(fds.data(), fds.size(), std::clamp(timeoutMs, 0, kCWClusterMaxPollMs));
    if (ready > 0) {
        // Clients first: accepting appends to the list the fds index.
        for (size_t i = 0; i < server->clients.size() && i < fds.size(); ++i) {
            CLIENT* client = &server->clients[i];
            if (fds[i].revents & POLLOUT)
                flush(client);
            if (client->fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)))
                read_client(server, client);
        }
        if (server->listenFd >= 0 && (fds.back().revents & POLLIN))
            accept_clients(server);
    }
    remove_closed(server);
    return static_cast<int32_t>(server->clients.size());
}

int32_t cw_cluster_server_broadcast(CW_CLUSTER_SERVER* server, const std::string& line)
{
    if (server == nullptr)
        return 0;
    const bool ended = !line.empty() && (line.back() == '\n' || line.back() == '\r');
    const std::string text = ended ? line : line + "\r\n";
    int32_t queued = 0;
    for (CLIENT& client : server->clients) {
        if (client.fd < 0 || !client.loggedIn)
            continue;
        queue(server, &client, text);
        queued += client.fd >= 0 ? 1 : 0;
    }
    remove_closed(server);
    return queued;
}

void cw_cluster_server_get_status(const CW_CLUSTER_SERVER* server, CW_CLUSTER_SERVER_STATUS* status)
{
    if (status == nullptr)
        return;
    *status = CW_CLUSTER_SERVER_STATUS{};
    if (server == nullptr)
        return;
    status->listening = server->listenFd >= 0 ? 1 : 0;
    status->port = server->port;
    for (const CLIENT& client : server->clients) {
        status->clients += client.fd >= 0 ? 1 : 0;
        status->loggedIn += client.fd >= 0 && client.loggedIn ? 1 : 0;
    }
    status->dropped = server->dropped;
    status->errorCode = server->errorCode;
    status->error = server->error;
}

void cw_cluster_server_destroy(CW_CLUSTER_SERVER* server)
{
    if (server == nullptr)
        return;
    for (CLIENT& client : server->clients)
        close_client(&client);
    if (server->listenFd >= 0)
        close(server->listenFd);
    delete server;
}
