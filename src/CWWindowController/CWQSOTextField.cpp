#include "CWQSOTextField.h"

CWQSOTextField::CWQSOTextField(int pickTarget, QWidget* parent) : QLineEdit(parent), pickTarget_(pickTarget) {}
