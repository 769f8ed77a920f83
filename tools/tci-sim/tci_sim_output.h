// What one step of a simulated server connection wants done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TCI_SIM_MESSAGE {
    bool binary;
    std::string text;            // when not binary
    std::vector<uint8_t> bytes;  // when binary
};

struct TCI_SIM_OUTPUT {
    std::vector<TCI_SIM_MESSAGE> messages;  // to send, in this order
    std::vector<std::string> log;           // lines for the operator
    bool abort = false;                     // drop the connection without a close frame
};
