#include "tci_error.h"

#include <array>
#include <utility>

namespace {

// Qt's reasons for closing on its own, by their fixed start, and what each
// says the server did.
constexpr std::array<std::pair<const char*, const char*>, 10> kClientCloses = {{
    {"Invalid UTF-8 code encountered.", "sent text that is not valid UTF-8"},
    {"Received message is too big.", "sent a message too big to take"},
    {"Maximum framesize exceeded.", "sent a frame too big to take"},
    {"Invalid opcode detected", "broke the WebSocket protocol"},
    {"Control frame is larger than 125 bytes", "broke the WebSocket protocol"},
    {"Control frames cannot be fragmented", "broke the WebSocket protocol"},
    {"Payload of close frame is too small.", "broke the WebSocket protocol"},
    {"Invalid close code", "broke the WebSocket protocol"},
    {"Received Continuation frame", "broke the WebSocket protocol"},
    {"All data frames after the initial data frame", "broke the WebSocket protocol"},
}};

const char* client_close_cause(const std::string& reason)
{
    for (const auto& [start, cause] : kClientCloses)
        if (reason.starts_with(start))
            return cause;
    return nullptr;
}

}  // namespace

bool tci_close_is_clients_own(const std::string& reason)
{
    return client_close_cause(reason) != nullptr;
}

std::string tci_close_text(long code, const std::string& reason)
{
    const std::string coded = "(code " + std::to_string(code) + ")";
    if (const char* cause = client_close_cause(reason))
        return std::string("the client closed the connection because the server ") + cause + " " + coded;
    std::string text = "the server closed the connection " + coded;
    if (!reason.empty())
        text += ": " + reason;
    return text;
}

std::string tci_lost_text(const std::string& reason)
{
    return reason.empty() ? "the connection was lost" : "the connection was lost: " + reason;
}

std::string tci_no_answer_text(const std::string& host, uint64_t port)
{
    return "no answer from the TCI server at " + host + ":" + std::to_string(port);
}
