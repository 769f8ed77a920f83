// The received-text pane: decoded characters and transmitted lines, each
// in its own colour, read-only but selectable.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>

#include <functional>

class CWDecodedTextView : public QPlainTextEdit {
public:
    explicit CWDecodedTextView(QWidget* parent = nullptr);

    // Appends in the given colour and the pane's font; shows the new end
    // when the view was at the end, else stays where the operator scrolled.
    // Returns a cursor at the end of the text appended.
    QTextCursor appendText(const QString& text, const QColor& colour);

    bool isEmpty() const;
    // The last character is a blank or a line break.
    bool endsInBlank() const;
    // Empty, or the last character is a line break.
    bool endsAtLineStart() const;

    void scrollToEnd();

    // The word under a point of the viewport, or an empty string.
    QString pickedStringAtViewPoint(const QPoint& point) const;
    // Called after a double-click on a word, with the word and the event's
    // time in seconds.
    void setDoubleClickPick(std::function<void(const QString&, double)> pick) { pick_ = std::move(pick); }

protected:
    // Double-clicks select as usual, then hand the word on.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QChar lastCharacter() const;  // a null character when empty

    std::function<void(const QString&, double)> pick_;
};
