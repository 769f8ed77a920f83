// The received-text pane: decoded characters and transmitted lines, each
// in its own colour, read-only but selectable.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QString>

class CWDecodedTextView : public QPlainTextEdit {
public:
    explicit CWDecodedTextView(QWidget* parent = nullptr);

    // Appends in the given colour and the pane's font, then shows the end.
    void appendText(const QString& text, const QColor& colour);

    bool isEmpty() const;
    // The last character is a blank or a line break.
    bool endsInBlank() const;
    // Empty, or the last character is a line break.
    bool endsAtLineStart() const;

    void scrollToEnd();

private:
    QChar lastCharacter() const;  // a null character when empty
};
