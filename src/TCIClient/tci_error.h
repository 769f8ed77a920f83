// An error carried from the link to its delegate: where it came from, its
// code there and a sentence for the operator.
#pragma once

#include <string>

struct TCI_ERROR {
    std::string domain;       // e.g. "QAbstractSocket" or "QWebSocketProtocol"
    long code = 0;            // the domain's own code
    std::string description;  // one line, shown after "Disconnected: "
};
