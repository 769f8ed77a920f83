// A QSO field (partner call or name): a text field that knows which pick
// target it stands for and asks to become the target when clicked, so that
// picked words from the received text find it.
#pragma once

#include <QLineEdit>

#include <functional>

class CWQSOTextField : public QLineEdit {
public:
    explicit CWQSOTextField(int pickTarget, QWidget* parent = nullptr);

    // 1 for the partner call, 2 for the partner name, 0 for none.
    int pickTarget() const { return pickTarget_; }
    // Called with pickTarget() on every mouse press, before the field
    // starts editing.
    void setPickTargetRequest(std::function<void(int)> request) { request_ = std::move(request); }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    int pickTarget_;
    std::function<void(int)> request_;
};
