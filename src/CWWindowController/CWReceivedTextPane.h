// What the received-text pane shows: decoded text, folded and mirrored to
// the RX text log, and the echo of transmitted lines, placed between whole
// received words and marked when Stop cut their keying short.
#pragma once

#include "cw_tx_echo.h"

#include <QTextCursor>
#include <QTimer>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CWDecodedTextView;

class CWReceivedTextPane {
public:
    // `mirror` receives the decoded text as shown (the RX text log).
    CWReceivedTextPane(CWDecodedTextView* view, std::function<void(const std::string&)> mirror);

    void appendDecoded(const std::string& text);
    // A line went out to the keyer at `wpm`.
    void appendTransmitted(const std::string& text, double wpm);
    // Stop was pressed: lines still being keyed are marked.
    void stopped();
    void clear();

private:
    bool atWordEnd() const;
    void show(const std::vector<CW_TX_ECHO_PIECE>& pieces);
    void showDue();

    CWDecodedTextView* view_;
    std::function<void(const std::string&)> mirror_;
    CW_TX_ECHO echo_;
    bool mirrorEndsInBlank_ = false;
    std::vector<std::pair<uint64_t, QTextCursor>> shownLines_;  // where each keying line ends
    QTimer waitTimer_;
};
