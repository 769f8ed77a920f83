#include "cw_udp_log_sender.h"

#include "cw_field_strings.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr long kCWEinval = EINVAL;

bool cw_system_failed(CW_OPERATION_ERROR* error, const char* call, int err)
{
    return cw_operation_failed(error, kCWPOSIXErrorDomain, err, std::string(call) + " failed: " + std::strerror(err));
}

bool cw_has_letter(const std::string& host)
{
    for (char c : host) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            return true;
    }
    return false;
}

// A dotted quad as it is; a name (it has a letter: numbers alone such as
// "127.0.1" stay refused, as does an IPv6 address) through the resolver,
// since operators type "localhost" as often as 127.0.0.1.
bool cw_resolve_ipv4(const std::string& host, sockaddr_in* address, CW_OPERATION_ERROR* error)
{
    address->sin_family = AF_INET;
    if (inet_pton(AF_INET, host.c_str(), &address->sin_addr) == 1)
        return true;
    // "localhost" is the loopback by definition; a small system without a
    // hosts file would not resolve it, and asking costs a lookup.
    if (cw_upper_string(host) == "LOCALHOST") {
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return true;
    }
    if (!cw_has_letter(host) || host.find(':') != std::string::npos)
        return cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEinval, "Invalid IPv4 UDP host");
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || found == nullptr)
        return cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEinval,
                                   "Unknown UDP host " + host + ": " + gai_strerror(status));
    address->sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

std::string cw_call_and_freq(const std::string& call, const std::string& freq)
{
    return "CALL=" + cw_normalized_upper_field_string(call) + " FREQ=" + freq;
}

std::string cw_target(const std::string& hostText, long long port)
{
    return cw_udp_log_host(hostText) + ":" + std::to_string(port);
}

}  // namespace

CW_UDP_LOG_SETTINGS cw_udp_log_settings(const CWPreferenceStore& store)
{
    return CW_UDP_LOG_SETTINGS{
        cw_defaults_string(store, kCWLogHostKey, kCWLogHostDefault),
        cw_defaults_integer(store, kCWLogPortKey, kCWLogPortDefault),
        cw_defaults_bool(store, kCWSendLogViaUdpKey, false),
    };
}

void cw_store_udp_log_settings(CWPreferenceStore& store, const CW_UDP_LOG_SETTINGS& settings)
{
    store.setValue(kCWLogHostKey, cw_udp_log_host(settings.host));
    cw_store_integer(store, kCWLogPortKey, settings.port);
    cw_store_bool(store, kCWSendLogViaUdpKey, settings.sendViaUdp);
}

std::string cw_udp_log_host(const std::string& hostText)
{
    const std::string host = cw_trimmed_string(hostText);
    return host.empty() ? kCWLogHostDefault : host;
}

bool cw_udp_send_log_record(const std::string& hostText, long long port, const std::string& record,
                            CW_OPERATION_ERROR* error)
{
    if (port < 1 || port > 65535)
        return cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEinval, "Invalid UDP port");
    if (record.empty())
        return cw_operation_failed(error, kCWPOSIXErrorDomain, kCWEinval, "Empty UDP payload");
    sockaddr_in address{};
    if (!cw_resolve_ipv4(cw_udp_log_host(hostText), &address, error))
        return false;
    address.sin_port = htons(static_cast<uint16_t>(port));
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return cw_system_failed(error, "socket", errno);
    const ssize_t sent =
        sendto(fd, record.data(), record.size(), 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int err = sent < 0 ? errno : EMSGSIZE;
    close(fd);
    if (sent != static_cast<ssize_t>(record.size()))
        return cw_system_failed(error, "sendto", err);
    return true;
}

std::string cw_log_udp_disabled_message(const std::string& call, const std::string& freq)
{
    return "LOG UDP: disabled, " + cw_call_and_freq(call, freq) + " saved locally";
}

std::string cw_log_udp_sent_message(const std::string& call, const std::string& freq, const std::string& hostText,
                                    long long port)
{
    return "LOG UDP: sent " + cw_call_and_freq(call, freq) + " to " + cw_target(hostText, port);
}

std::string cw_log_udp_failed_message(const std::string& hostText, long long port, const std::string& description)
{
    return "LOG UDP: failed " + cw_target(hostText, port) + " — " +
           (description.empty() ? "unknown error" : description);
}

std::string cw_log_udp_failed_alert_text(const std::string& logPath, const std::string& description)
{
    return "The QSO was saved to " + logPath +
           ".\n\nUDP error: " + (description.empty() ? "Unknown error" : description);
}
