// The DX-cluster feed over real sockets on 127.0.0.1: loggers connect, log
// in with a call and from then on receive every spot line.
#include "cw_cluster_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

constexpr const char* kSpot = "DX de ZARVO-#:    7025.3 DL2QZA       CW 18 dB 24 WPM CQ              1403Z\r\n";
constexpr const char* kGreeting = "Hello, this is ZARVO-#, a CW skimmer.\r\nPlease enter your call: ";
// Polls of 10 ms before a helper gives up: a bound on a hung test only.
constexpr int kPatience = 500;

CW_CLUSTER_SERVER_CONFIG config(int32_t port = 0)
{
    return CW_CLUSTER_SERVER_CONFIG{
        .port = port, .bindAddress = nullptr, .maxClients = 0, .maxPendingBytes = 0, .nodeName = "ZARVO-#"};
}

CW_CLUSTER_SERVER_STATUS status_of(const CW_CLUSTER_SERVER* server)
{
    CW_CLUSTER_SERVER_STATUS status;
    cw_cluster_server_get_status(server, &status);
    return status;
}

// A connected, non-blocking client; a small receive buffer makes a client
// that never reads fill up sooner.
int connect_client(int32_t port, int receiveBuffer = 0)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    const timeval none{0, 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    return fd;
}

void send_text(int fd, const std::string& text)
{
    ASSERT_EQ(send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
}

// What the client received while the server ran, up to and including the
// first `until`, or all of it when `until` never came.
struct RECEIVED {
    std::string text;
    bool closed = false;  // the server closed the connection
};

RECEIVED receive(CW_CLUSTER_SERVER* server, int fd, const std::string& until, int polls = kPatience)
{
    RECEIVED got;
    char buffer[4096];
    for (int i = 0; i < polls && !got.closed; ++i) {
        cw_cluster_server_poll(server, 10);
        for (;;) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                got.text.append(buffer, static_cast<size_t>(n));
                continue;
            }
            got.closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        if (!until.empty() && got.text.find(until) != std::string::npos)
            break;
    }
    return got;
}

// A client that connected and was asked for its call.
int greeted_client(CW_CLUSTER_SERVER* server, int receiveBuffer = 0)
{
    const int fd = connect_client(status_of(server).port, receiveBuffer);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(receive(server, fd, kCWClusterLoginPrompt).text, kGreeting);
    return fd;
}

int logged_in_client(CW_CLUSTER_SERVER* server, const std::string& call, int receiveBuffer = 0)
{
    const int fd = greeted_client(server, receiveBuffer);
    send_text(fd, call + "\r\n");
    EXPECT_EQ(receive(server, fd, "\r\n").text.rfind("Hello ", 0), 0u);
    return fd;
}

int32_t poll_until_clients(CW_CLUSTER_SERVER* server, int32_t clients)
{
    for (int i = 0; i < kPatience && status_of(server).clients != clients; ++i)
        cw_cluster_server_poll(server, 10);
    return status_of(server).clients;
}

}  // namespace

// One session: spots go only to clients that logged in, each line exactly
// and in order; clients that leave, by closing or by saying so, are dropped
// and cost no signal.
TEST(CwClusterServer, LoggedInClientsReceiveEachSpotLineUntilTheyLeave)
{
    const CW_CLUSTER_SERVER_CONFIG c = config();
    CW_CLUSTER_SERVER* server = cw_cluster_server_create(&c);
    ASSERT_NE(server, nullptr);
    const CW_CLUSTER_SERVER_STATUS listening = status_of(server);
    ASSERT_TRUE(listening.listening == 1 && listening.port > 0 && listening.error.empty()) << listening.error;
    const int early = greeted_client(server);
    const int fd = greeted_client(server);
    send_text(fd, "dl1abc\r\n");
    EXPECT_EQ(receive(server, fd, "\r\n").text, "Hello DL1ABC, this is ZARVO-#. CW spots follow; \"bye\" ends.\r\n");
    EXPECT_TRUE(status_of(server).clients == 2 && status_of(server).loggedIn == 1);
    EXPECT_EQ(cw_cluster_server_broadcast(server, kSpot), 1);
    EXPECT_EQ(receive(server, fd, "\r\n").text, kSpot);
    // A line without its break gets CR LF.
    EXPECT_EQ(cw_cluster_server_broadcast(server, "DX de ZARVO-#: x"), 1);
    EXPECT_EQ(receive(server, fd, "\r\n").text, "DX de ZARVO-#: x\r\n");
    // Other commands a logger sends after login are ignored.
    send_text(fd, "set/skimmer\r\nsh/dx\n");
    // Telnet option negotiation before the call is no part of it; the
    // blank lines of CR LF are skipped.
    send_text(early, "\xff\xfb\x01\xff\xfd\x03\xff\xfa\x18\x01\xff\xf0\r\n  oh2xyz  \r\n");
    EXPECT_EQ(receive(server, early, "\r\n").text, "Hello OH2XYZ, this is ZARVO-#. CW spots follow; \"bye\" ends.\r\n");
    EXPECT_EQ(cw_cluster_server_broadcast(server, kSpot), 2);
    // TCP keeps the order: the earlier lines would have come first.
    EXPECT_EQ(receive(server, early, "\r\n").text, kSpot);
    EXPECT_EQ(receive(server, fd, "\r\n").text, kSpot);

    const int leaving = logged_in_client(server, "K1ABC");
    EXPECT_EQ(status_of(server).loggedIn, 3);
    close(leaving);
    // Sending to the closed connection before a poll noticed: EPIPE, which
    // without MSG_NOSIGNAL would end this test program.
    for (int i = 0; i < 50; ++i)
        cw_cluster_server_broadcast(server, kSpot);
    EXPECT_EQ(poll_until_clients(server, 2), 2);
    EXPECT_EQ(status_of(server).dropped, 0u);  // it left; it was not dropped for being slow
    const RECEIVED still = receive(server, fd, "", 20);
    EXPECT_FALSE(still.closed);
    EXPECT_EQ(still.text.size(), 50 * std::string(kSpot).size());

    send_text(fd, "BYE\r\n");
    const RECEIVED farewell = receive(server, fd, "");
    EXPECT_TRUE(farewell.closed && farewell.text == "73 de ZARVO-#\r\n") << farewell.text;
    EXPECT_EQ(status_of(server).clients, 1);
    send_text(early, " quit \n");
    EXPECT_TRUE(receive(server, early, "").closed);
    EXPECT_EQ(status_of(server).clients, 0);
    EXPECT_EQ(cw_cluster_server_broadcast(server, kSpot), 0);
    close(fd);
    close(early);
    cw_cluster_server_destroy(server);
}

// Output a client leaves unread is bounded: past it the client is closed,
// while one that reads keeps its feed.
TEST(CwClusterServer, AClientThatNeverReadsIsDroppedAfterTheBound)
{
    CW_CLUSTER_SERVER_CONFIG c = config();
    c.maxPendingBytes = 1;  // clamped to 1 KiB
    CW_CLUSTER_SERVER* server = cw_cluster_server_create(&c);
    const int reader = logged_in_client(server, "K1ABC");
    const int sleeper = logged_in_client(server, "DL1ABC", 4096);
    ASSERT_EQ(status_of(server).loggedIn, 2);

    const std::string spot = kSpot;
    size_t readBytes = 0, lines = 0;
    char buffer[65536];
    while (status_of(server).dropped == 0 && lines < 2000000) {
        cw_cluster_server_broadcast(server, spot);
        ++lines;
        cw_cluster_server_poll(server, 0);
        for (ssize_t n; (n = recv(reader, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            readBytes += static_cast<size_t>(n);
    }
    const CW_CLUSTER_SERVER_STATUS after = status_of(server);
    EXPECT_TRUE(after.dropped == 1 && after.clients == 1 && after.loggedIn == 1);
    // The reader gets every line, in full, after the sleeper went.
    const RECEIVED rest = receive(server, reader, "", 20);
    EXPECT_FALSE(rest.closed);
    EXPECT_EQ(readBytes + rest.text.size(), lines * spot.size());
    EXPECT_TRUE(receive(server, sleeper, "", 2000).closed);
    close(reader);
    close(sleeper);
    cw_cluster_server_destroy(server);
}

TEST(CwClusterServer, TheClientPastTheLimitIsToldTheClusterIsFull)
{
    CW_CLUSTER_SERVER_CONFIG c = config();
    c.maxClients = 2;
    CW_CLUSTER_SERVER* server = cw_cluster_server_create(&c);
    const int a = logged_in_client(server, "K1ABC");
    const int b = greeted_client(server);
    const int full = connect_client(status_of(server).port);
    const RECEIVED refused = receive(server, full, "");
    EXPECT_TRUE(refused.closed && refused.text == kCWClusterFullText) << refused.text;
    EXPECT_EQ(status_of(server).clients, 2);
    // A place that comes free is taken again.
    close(b);
    EXPECT_EQ(poll_until_clients(server, 1), 1);
    const int next = greeted_client(server);
    EXPECT_EQ(status_of(server).clients, 2);
    for (int fd : {a, full, next})
        close(fd);
    cw_cluster_server_destroy(server);
}

// Null handles do nothing; without a config the server listens on any free port of 127.0.0.1 as ZARVO. A
// port in use or a bad address comes back as an error, and such a server does nothing, harmlessly.
TEST(CwClusterServer, NullsAreSafeAndAPortInUseOrABadAddressComesBackAsAnError)
{
    CW_CLUSTER_SERVER_STATUS status;
    status.port = 7;
    cw_cluster_server_get_status(nullptr, &status);
    EXPECT_TRUE(status.port == 0 && status.listening == 0 && status.clients == 0);
    EXPECT_EQ(cw_cluster_server_poll(nullptr, 10) + cw_cluster_server_broadcast(nullptr, kSpot), 0);
    cw_cluster_server_get_status(nullptr, nullptr);
    cw_cluster_server_destroy(nullptr);

    CW_CLUSTER_SERVER* server = cw_cluster_server_create(nullptr);
    const int32_t port = status_of(server).port;
    EXPECT_TRUE(status_of(server).listening == 1 && port > 0);
    const CW_CLUSTER_SERVER_CONFIG same = config(port);
    CW_CLUSTER_SERVER* other = cw_cluster_server_create(&same);
    ASSERT_NE(other, nullptr);
    const CW_CLUSTER_SERVER_STATUS inUse = status_of(other);
    EXPECT_TRUE(inUse.listening == 0 && inUse.port == 0 && inUse.errorCode == EADDRINUSE);
    EXPECT_EQ(inUse.error, "bind 127.0.0.1:" + std::to_string(port) + " failed: Address already in use");
    EXPECT_EQ(cw_cluster_server_poll(other, 0) + cw_cluster_server_broadcast(other, kSpot), 0);
    cw_cluster_server_destroy(other);

    CW_CLUSTER_SERVER_CONFIG bad = config();
    bad.bindAddress = "radio.local";
    CW_CLUSTER_SERVER* unbound = cw_cluster_server_create(&bad);
    const CW_CLUSTER_SERVER_STATUS refused = status_of(unbound);
    EXPECT_TRUE(refused.listening == 0 && refused.errorCode == EINVAL) << refused.error;
    EXPECT_EQ(refused.error, "bind address radio.local failed: Invalid argument");
    cw_cluster_server_destroy(unbound);

    // The first server still serves.
    const int fd = connect_client(port);
    EXPECT_EQ(receive(server, fd, kCWClusterLoginPrompt).text,
              std::string("Hello, this is ZARVO, a CW skimmer.\r\n") + kCWClusterLoginPrompt);
    send_text(fd, "K1ABC\r\n");
    EXPECT_EQ(receive(server, fd, "\r\n").text.rfind("Hello K1ABC", 0), 0u);
    EXPECT_EQ(status_of(server).loggedIn, 1);
    close(fd);
    cw_cluster_server_destroy(server);
}
