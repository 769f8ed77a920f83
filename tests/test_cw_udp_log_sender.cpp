// Sending a logged QSO as one UDP datagram to a logging program.
#include "cw_udp_log_sender.h"
#include "map_preference_store.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A UDP socket bound to a free port on 127.0.0.1.
struct Listener {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    long long port = 0;
    Listener()
    {
        sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
        socklen_t length = sizeof address;
        const timeval timeout = {2, 0};
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        port = ntohs(address.sin_port);
    }
    ~Listener() { close(fd); }
    std::string receive() const
    {
        char buffer[65536];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        return n < 0 ? "<nothing>" : std::string(buffer, static_cast<size_t>(n));
    }
};

const std::string kRecord = "<CALL:6>DL1ABC<NAME:5>J\u00d6RG<MODE:2>CW<EOR>";

}  // namespace

// An empty host means 127.0.0.1 and "localhost" the loopback, even without
// a hosts file. UDP gives no delivery report: a closed port is not detected.
TEST(CWUdpLogSender, TheListenerReceivesExactlyTheRecord)
{
    Listener listener;
    CW_OPERATION_ERROR error;
    ASSERT_TRUE(cw_udp_send_log_record(" 127.0.0.1 ", listener.port, kRecord, &error)) << error.description;
    EXPECT_EQ(listener.receive(), kRecord);
    ASSERT_TRUE(cw_udp_send_log_record("", listener.port, "<EOR>", &error)) << error.description;
    EXPECT_EQ(listener.receive(), "<EOR>");
    ASSERT_TRUE(cw_udp_send_log_record("LocalHost", listener.port, kRecord, &error)) << error.description;
    EXPECT_EQ(listener.receive(), kRecord);
    const long long gone = Listener().port;  // closed again at once
    EXPECT_TRUE(cw_udp_send_log_record("127.0.0.1", gone, kRecord, nullptr));
}

TEST(CWUdpLogSender, BadTargetsPayloadsAndOversizedDatagramsAreRefused)
{
    const struct {
        const char* host;
        long long port;
        std::string record;
        const char* description;
    } cases[] = {{"127.0.0.1", 0, kRecord, "Invalid UDP port"},
                 {"127.0.0.1", 70000, kRecord, "Invalid UDP port"},
                 {"127.0.0.1", 12063, "", "Empty UDP payload"},
                 {"127.0.1", 12063, kRecord, "Invalid IPv4 UDP host"},
                 {"::1", 12063, kRecord, "Invalid IPv4 UDP host"}};
    for (const auto& c : cases) {
        CW_OPERATION_ERROR error;
        EXPECT_FALSE(cw_udp_send_log_record(c.host, c.port, c.record, &error)) << c.host << ":" << c.port;
        EXPECT_TRUE(error.domain == "NSPOSIXErrorDomain" && error.code == 22 && error.description == c.description)
            << c.host << ":" << c.port << " " << error.description;
    }
    CW_OPERATION_ERROR error;
    EXPECT_FALSE(cw_udp_send_log_record("logbook.invalid", 12063, kRecord, &error));  // a name that never resolves
    EXPECT_EQ(error.description.rfind("Unknown UDP host logbook.invalid: ", 0), 0u) << error.description;
    EXPECT_FALSE(cw_udp_send_log_record("127.0.0.1", 9, std::string(70000, 'x'), &error));
    EXPECT_TRUE(error.description == "sendto failed: Message too long" && error.code == EMSGSIZE) << error.description;
}

TEST(CWUdpLogSender, SettingsKeepThePortAsEnteredAndABlankHostIsLocal)
{
    MapStore store;
    const CW_UDP_LOG_SETTINGS defaults = cw_udp_log_settings(store);
    EXPECT_TRUE(defaults.host == "127.0.0.1" && defaults.port == 12063 && !defaults.sendViaUdp);
    cw_store_udp_log_settings(store, {"  ", 70000, true});
    const CW_UDP_LOG_SETTINGS stored = cw_udp_log_settings(store);
    EXPECT_TRUE(stored.host == "127.0.0.1" && stored.port == 70000 && stored.sendViaUdp);  // the port as entered
    EXPECT_NE(cw_log_udp_failed_message("", 12063, "").find("127.0.0.1:12063"), std::string::npos);
}
