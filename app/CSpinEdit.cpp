#include "app/CSpinEdit.h"

#include <QLineEdit>
#include <limits>

TCSpinEdit::TCSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setSingleStep(1);
    setAccelerated(true);
}

int TCSpinEdit::Value() const {
    // value() keeps the last valid number while the field is being edited; the text is what
    // the user sees, so it decides.
    bool whole = false;
    const int value = lineEdit()->text().trimmed().toInt(&whole);
    return whole ? value : 0;
}
