// The logbook send: one ADIF record as one UDP datagram to an IPv4 listener,
// its settings and the log lines and alert about it.
#pragma once

#include "cw_operation_error.h"
#include "cw_settings.h"

#include <string>

constexpr const char* kCWLogHostKey = "CWLogHost";
constexpr const char* kCWLogHostDefault = "127.0.0.1";
constexpr const char* kCWLogPortKey = "CWLogPort";
constexpr long long kCWLogPortDefault = 12063;
constexpr const char* kCWSendLogViaUdpKey = "CWSendLogViaUDP";

struct CW_UDP_LOG_SETTINGS {
    std::string host;
    long long port = kCWLogPortDefault;  // as entered, also when out of range
    bool sendViaUdp = false;
};

CW_UDP_LOG_SETTINGS cw_udp_log_settings(const CWPreferenceStore& store);

// Stores the host (trimmed, the default when empty), the port as entered
// and the flag.
void cw_store_udp_log_settings(CWPreferenceStore& store, const CW_UDP_LOG_SETTINGS& settings);

// The host text trimmed, "127.0.0.1" when empty.
std::string cw_udp_log_host(const std::string& hostText);

// Sends record's bytes as one datagram to host (trimmed, "127.0.0.1" when
// empty: a dotted-quad IPv4 address or a name resolved to one) and port
// (1..65535). True when the whole record
// was handed to the network; failures fill *error (NSPOSIXErrorDomain).
bool cw_udp_send_log_record(const std::string& hostText, long long port, const std::string& record,
                            CW_OPERATION_ERROR* error);

// "LOG UDP: disabled, CALL=%@ FREQ=%@ saved locally"
std::string cw_log_udp_disabled_message(const std::string& call, const std::string& freq);

// "LOG UDP: sent CALL=%@ FREQ=%@ to %@:%lu"
std::string cw_log_udp_sent_message(const std::string& call, const std::string& freq, const std::string& hostText,
                                    long long port);

// "LOG UDP: failed %@:%lu — %@" ("unknown error" for an empty description).
std::string cw_log_udp_failed_message(const std::string& hostText, long long port, const std::string& description);

constexpr const char* kCWUdpFailedAlertTitle = "Log UDP send failed";

// "The QSO was saved to %@.\n\nUDP error: %@" with the log file's real path
// ("Unknown error" for an empty description).
std::string cw_log_udp_failed_alert_text(const std::string& logPath, const std::string& description);
