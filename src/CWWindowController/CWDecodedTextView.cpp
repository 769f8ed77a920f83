#include "CWDecodedTextView.h"

#include "cw_word_pick.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

// Inside the document a line break is a paragraph separator.
bool is_line_break(QChar c)
{
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == u'\n' || c == u'\r';
}

}  // namespace

CWDecodedTextView::CWDecodedTextView(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
}

QTextCursor CWDecodedTextView::appendText(const QString& text, const QColor& colour)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (text.isEmpty())
        return cursor;
    QTextCharFormat format;
    format.setForeground(colour);
    format.setFont(font());
    // Like a terminal: the view follows the end only while it shows the
    // end, so the operator can scroll back and read while text arrives.
    QScrollBar* bar = verticalScrollBar();
    const int value = bar->value();
    const bool following = value >= bar->maximum();
    cursor.insertText(text, format);
    if (following)
        scrollToEnd();
    else
        bar->setValue(value);
    return cursor;
}

bool CWDecodedTextView::isEmpty() const
{
    return document()->isEmpty();
}

bool CWDecodedTextView::endsInBlank() const
{
    const QChar c = lastCharacter();
    return !c.isNull() && (c.isSpace() || is_line_break(c));
}

bool CWDecodedTextView::endsAtLineStart() const
{
    return isEmpty() || is_line_break(lastCharacter());
}

void CWDecodedTextView::scrollToEnd()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

QChar CWDecodedTextView::lastCharacter() const
{
    const int count = document()->characterCount();  // includes the closing separator
    return count > 1 ? document()->characterAt(count - 2) : QChar();
}

QString CWDecodedTextView::pickedStringAtViewPoint(const QPoint& point) const
{
    const QString text = toPlainText();
    const size_t index = static_cast<size_t>(std::max(0, cursorForPosition(point).position()));
    const std::u16string word = cw_word_at_index(text.toStdU16String(), index);
    return QString::fromStdU16String(word);
}

void CWDecodedTextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QString word = pickedStringAtViewPoint(event->position().toPoint());
    const double seconds = static_cast<double>(event->timestamp()) / 1000.0;
    QPlainTextEdit::mouseDoubleClickEvent(event);
    if (!word.isEmpty() && pick_)
        pick_(word, seconds);
}
