// The telnet listener loggers connect to for the skimmer's spots, as they
// would to a DX cluster: it greets, asks for a call, takes any line as the
// login and from then on sends every spot line broadcast. One thread
// drives it through cw_cluster_server_poll; no call blocks longer than the
// timeout it is given. Plain functions over an opaque handle; nothing
// throws, every pointer may be null, every value is clamped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr const char* kCWClusterDefaultBindAddress = "127.0.0.1";
constexpr int32_t kCWClusterDefaultMaxClients = 16;
constexpr int32_t kCWClusterMaxClientsLimit = 256;
constexpr size_t kCWClusterDefaultMaxPendingBytes = 64 * 1024;
constexpr size_t kCWClusterMinPendingBytes = 1024;
constexpr size_t kCWClusterMaxPendingBytesLimit = 16 * 1024 * 1024;
constexpr int kCWClusterMaxPollMs = 10000;

constexpr const char* kCWClusterLoginPrompt = "Please enter your call: ";
constexpr const char* kCWClusterFullText = "Sorry, the cluster is full. Please try again later.\r\n";

struct CW_CLUSTER_SERVER_CONFIG {
    int32_t port;             // 0: any free port (the status names it); else 1..65535
    const char* bindAddress;  // IPv4 dotted quad; null or empty: 127.0.0.1
    int32_t maxClients;       // not above 0: 16; then 1..256
    size_t maxPendingBytes;   // output a client may leave unread; 0: 64 KiB; then 1 KiB..16 MiB
    const char* nodeName;     // named in the greeting; null or empty: "ZARVO"
};

struct CW_CLUSTER_SERVER_STATUS {
    int32_t listening;  // 1 when bound and listening
    int32_t port;       // the port bound; 0 when not listening
    int32_t clients;    // connected, logged in or not
    int32_t loggedIn;   // clients that receive spots
    uint64_t dropped;   // clients closed for falling behind
    int32_t errorCode;  // errno of the failure that stopped listening, else 0
    std::string error;  // "bind 127.0.0.1:7300 failed: Address already in use", else empty
};

struct CW_CLUSTER_SERVER;

// Null config: the defaults (any free port on 127.0.0.1). A server that
// cannot listen (port in use, bad address) is still returned, not
// listening, its status holding the error; null only without memory.
CW_CLUSTER_SERVER* cw_cluster_server_create(const CW_CLUSTER_SERVER_CONFIG* config);

// Accepts, reads and writes whatever is ready, waiting at most timeoutMs
// (clamped to 0..10000) for something to be. Closes clients that hung up,
// said "bye" or "quit", or let more than the pending bound pile up.
// Returns the clients connected afterwards.
int32_t cw_cluster_server_poll(CW_CLUSTER_SERVER* server, int timeoutMs);

// Queues one line for every logged-in client and sends what the sockets
// take now; the rest goes out in later polls. CR LF is added when the line
// does not end in a line break. Returns the clients it was queued for.
int32_t cw_cluster_server_broadcast(CW_CLUSTER_SERVER* server, const std::string& line);

// Null handle: all zero, not listening.
void cw_cluster_server_get_status(const CW_CLUSTER_SERVER* server, CW_CLUSTER_SERVER_STATUS* status);

// Closes every client and the listener.
void cw_cluster_server_destroy(CW_CLUSTER_SERVER* server);
