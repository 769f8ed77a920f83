// The TX line: typed text waits here until Return sends it; Shift+Return
// still breaks the line for a longer text.
#pragma once

#include <QPlainTextEdit>

#include <functional>

class CWTxTextView : public QPlainTextEdit {
public:
    explicit CWTxTextView(QWidget* parent = nullptr);

    // Called for Return or Enter without Shift, instead of a line break.
    void setSend(std::function<void()> send) { send_ = std::move(send); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> send_;
};
