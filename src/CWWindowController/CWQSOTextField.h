// A QSO field (partner call or name): a text field that knows which pick
// target it stands for, so that picked words from the received text can
// find it.
#pragma once

#include <QLineEdit>

class CWQSOTextField : public QLineEdit {
public:
    explicit CWQSOTextField(int pickTarget, QWidget* parent = nullptr);

    // 1 for the partner call, 2 for the partner name.
    int pickTarget() const { return pickTarget_; }

private:
    int pickTarget_;
};
