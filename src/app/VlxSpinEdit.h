// The settings' spin edit: a typed value outside the range goes to the nearest bound when editing ends.
#pragma once

#include <QSpinBox>

class TSpinEdit : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    // Any whole number may be typed; one outside the range waits for the end of editing.
    QValidator::State validate(QString& text, int& pos) const override;
    // At the end of editing a number outside the range becomes the nearer bound: 10 in 30-500 gives 30 and
    // 900 gives 500 (the plain spin box restores the old value or refuses the last digit).
    void fixup(QString& text) const override;
};
