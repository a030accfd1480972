// The settings' spin edit and its handling of typed values outside the range.
#include "app/VlxSpinEdit.h"

#include <algorithm>

namespace {

bool TypedNumber(const QString& text, qlonglong& value) {
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok;
}

} // namespace

QValidator::State TSpinEdit::validate(QString& text, int& pos) const {
    const QValidator::State state = QSpinBox::validate(text, pos);
    qlonglong value = 0;
    if (state == QValidator::Invalid && TypedNumber(text, value))
        return QValidator::Intermediate;
    return state;
}

void TSpinEdit::fixup(QString& text) const {
    qlonglong value = 0;
    if (TypedNumber(text, value))
        text = textFromValue(int(std::clamp<qlonglong>(value, minimum(), maximum())));
    else
        QSpinBox::fixup(text);
}
