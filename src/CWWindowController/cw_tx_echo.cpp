#include "cw_tx_echo.h"

#include "cw_rx_morse_table.h"
#include "cw_text_panes.h"

#include <algorithm>
#include <cctype>

namespace {

// PARIS timing in dot units: a dot 1, a dash 3, 1 between elements, 3
// between characters, 7 between words.
double character_units(char c)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const CW_RX_MORSE_ROW& row : cw_morse_table) {
        if (row.text != upper)
            continue;
        double units = 2.0;  // the character gap beyond the last element gap
        for (const char* e = row.pattern; *e; ++e)
            units += (*e == '-' ? 3.0 : 1.0) + 1.0;
        return units;
    }
    return 7.0;
}

void forget_finished(CW_TX_ECHO* echo, double now)
{
    std::erase_if(echo->keying, [now](const CW_TX_ECHO_KEYING& k) { return k.until <= now; });
}

// The waiting lines as pieces, each on a line of its own.
void take_waiting(CW_TX_ECHO* echo, bool paneAtLineStart, std::vector<CW_TX_ECHO_PIECE>* pieces)
{
    for (size_t i = 0; i < echo->waitingTexts.size(); ++i) {
        const std::string line = cw_transmitted_line(echo->waitingTexts[i], paneAtLineStart);
        if (!line.empty())
            pieces->push_back({.text = line, .line = echo->waitingLines[i]});
        paneAtLineStart = paneAtLineStart || !line.empty();
    }
    echo->waitingTexts.clear();
    echo->waitingLines.clear();
}

}  // namespace

double cw_morse_keying_seconds(const std::string& text, double wpm)
{
    if (!(wpm > 0.0))
        return 0.0;
    double units = 0.0;
    for (char c : text)
        units += c == ' ' ? 4.0 : character_units(c);  // a blank tops the character gap up to 7
    return units * 1.2 / wpm;
}

void cw_tx_echo_sent(CW_TX_ECHO* echo, const std::string& text, double wpm, double now)
{
    forget_finished(echo, now);
    if (echo->waitingTexts.empty())
        echo->waitingSince = now;
    const uint64_t line = echo->nextLine++;
    echo->waitingTexts.push_back(text);
    echo->waitingLines.push_back(line);
    echo->keyerFreeAt = std::max(echo->keyerFreeAt, now) + cw_morse_keying_seconds(text, wpm);
    echo->keying.push_back({.line = line, .until = echo->keyerFreeAt});
}

std::vector<CW_TX_ECHO_PIECE> cw_tx_echo_due(CW_TX_ECHO* echo, bool paneAtWordEnd, bool paneAtLineStart, double now)
{
    std::vector<CW_TX_ECHO_PIECE> pieces;
    if (!echo->waitingTexts.empty() && (paneAtWordEnd || now - echo->waitingSince >= kCWTxEchoWaitSeconds))
        take_waiting(echo, paneAtLineStart, &pieces);
    return pieces;
}

std::vector<CW_TX_ECHO_PIECE> cw_tx_echo_received(CW_TX_ECHO* echo, const std::string& text, bool paneAtWordEnd,
                                                  bool paneAtLineStart, double now)
{
    std::vector<CW_TX_ECHO_PIECE> pieces = cw_tx_echo_due(echo, paneAtWordEnd, paneAtLineStart, now);
    if (!pieces.empty() || echo->waitingTexts.empty()) {
        pieces.push_back({.text = text, .line = 0});
        return pieces;
    }
    const auto blank = std::find_if(text.begin(), text.end(), cw_is_blank);
    if (blank == text.end()) {
        pieces.push_back({.text = text, .line = 0});
        return pieces;
    }
    const size_t wordEnd = static_cast<size_t>(blank - text.begin()) + 1;
    pieces.push_back({.text = text.substr(0, wordEnd), .line = 0});
    take_waiting(echo, false, &pieces);
    if (wordEnd < text.size())
        pieces.push_back({.text = text.substr(wordEnd), .line = 0});
    return pieces;
}

std::vector<uint64_t> cw_tx_echo_stop(CW_TX_ECHO* echo, double now)
{
    forget_finished(echo, now);
    std::vector<uint64_t> shown;
    for (auto k = echo->keying.rbegin(); k != echo->keying.rend(); ++k) {
        const auto waiting = std::find(echo->waitingLines.begin(), echo->waitingLines.end(), k->line);
        if (waiting == echo->waitingLines.end())
            shown.push_back(k->line);
        else
            echo->waitingTexts[static_cast<size_t>(waiting - echo->waitingLines.begin())] += kCWTxStoppedMark;
    }
    echo->keying.clear();
    echo->keyerFreeAt = now;
    return shown;
}

void cw_tx_echo_pane_cleared(CW_TX_ECHO* echo)
{
    std::erase_if(echo->keying, [echo](const CW_TX_ECHO_KEYING& k) {
        return std::find(echo->waitingLines.begin(), echo->waitingLines.end(), k.line) == echo->waitingLines.end();
    });
}
