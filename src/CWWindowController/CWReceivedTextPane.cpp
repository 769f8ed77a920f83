#include "CWReceivedTextPane.h"

#include "CWDecodedTextView.h"
#include "cw_text_panes.h"

#include <algorithm>
#include <chrono>

namespace {

const QColor kDecodedTextColour = QColor::fromRgbF(0.92, 0.92, 0.92);
const QColor kTransmittedTextColour = QColor::fromRgbF(0.3, 0.62, 1.0);

double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

CWReceivedTextPane::CWReceivedTextPane(CWDecodedTextView* view, std::function<void(const std::string&)> mirror)
    : view_(view), mirror_(std::move(mirror))
{
    waitTimer_.setSingleShot(true);
    waitTimer_.setInterval(static_cast<int>(kCWTxEchoWaitSeconds * 1000.0) + 20);
    QObject::connect(&waitTimer_, &QTimer::timeout, [this] { showDue(); });
}

bool CWReceivedTextPane::atWordEnd() const
{
    return view_->isEmpty() || view_->endsInBlank();
}

void CWReceivedTextPane::appendDecoded(const std::string& text)
{
    if (!text.empty())
        show(cw_tx_echo_received(&echo_, text, atWordEnd(), view_->endsAtLineStart(), now_seconds()));
}

void CWReceivedTextPane::appendTransmitted(const std::string& text, double wpm)
{
    cw_tx_echo_sent(&echo_, text, wpm, now_seconds());
    showDue();
    if (!echo_.waitingTexts.empty() && !waitTimer_.isActive())
        waitTimer_.start();
}

void CWReceivedTextPane::stopped()
{
    const QTextCharFormat format = [this] {
        QTextCharFormat f;
        f.setForeground(kTransmittedTextColour);
        f.setFont(view_->font());
        return f;
    }();
    // Newest first: a mark never moves the end of a line still to be marked.
    for (uint64_t line : cw_tx_echo_stop(&echo_, now_seconds())) {
        const auto shown = std::find_if(shownLines_.begin(), shownLines_.end(),
                                        [line](const auto& entry) { return entry.first == line; });
        if (shown != shownLines_.end())
            QTextCursor(shown->second).insertText(kCWTxStoppedMark, format);
    }
    shownLines_.clear();
}

void CWReceivedTextPane::clear()
{
    view_->clear();
    cw_tx_echo_pane_cleared(&echo_);
    shownLines_.clear();
}

void CWReceivedTextPane::showDue()
{
    show(cw_tx_echo_due(&echo_, atWordEnd(), view_->endsAtLineStart(), now_seconds()));
}

void CWReceivedTextPane::show(const std::vector<CW_TX_ECHO_PIECE>& pieces)
{
    for (const CW_TX_ECHO_PIECE& piece : pieces) {
        if (piece.line == 0) {
            const std::string folded = cw_fold_decoded_text(piece.text, view_->endsInBlank());
            if (folded.empty())
                continue;
            view_->appendText(QString::fromStdString(folded), kDecodedTextColour);
            // The log has no TX lines, so it keeps the blanks a TX line's
            // break stands for in the pane.
            const std::string logged = cw_fold_decoded_text(piece.text, mirrorEndsInBlank_);
            if (!logged.empty()) {
                mirror_(logged);
                mirrorEndsInBlank_ = cw_is_blank(logged.back());
            }
            continue;
        }
        QTextCursor end = view_->appendText(QString::fromStdString(piece.text), kTransmittedTextColour);
        end.movePosition(QTextCursor::PreviousCharacter);  // before the line break
        shownLines_.emplace_back(piece.line, end);
    }
    // Only lines still being keyed can be marked.
    std::erase_if(shownLines_, [this](const auto& entry) {
        return std::none_of(echo_.keying.begin(), echo_.keying.end(),
                            [&](const CW_TX_ECHO_KEYING& k) { return k.line == entry.first; });
    });
}
