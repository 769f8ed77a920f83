// An error carried from the link to its delegate: where it came from, its
// code there and a sentence for the operator that names who ended the link.
#pragma once

#include <cstdint>
#include <string>

struct TCI_ERROR {
    std::string domain;       // e.g. "QAbstractSocket" or "QWebSocketProtocol"
    long code = 0;            // the domain's own code
    std::string description;  // one line, shown after "Disconnected: "
};

// The WebSocket layer answers a fault in what the server sent by closing
// with its own reason; the same close code from the server carries the
// server's reason, or none.
bool tci_close_is_clients_own(const std::string& reason);

// "the client closed the connection because the server sent text that is
// not valid UTF-8 (code 1007)" for the client's own close, "the server
// closed the connection (code 1001): going away" for the server's.
std::string tci_close_text(long code, const std::string& reason);

// "the connection was lost: REASON", for a link that was open.
std::string tci_lost_text(const std::string& reason);

// "no answer from the TCI server at HOST:PORT", for a server that accepted
// the connection but never completed the WebSocket handshake.
std::string tci_no_answer_text(const std::string& host, uint64_t port);
