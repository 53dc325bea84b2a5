#pragma once
// An integer edit with step arrows and no bounds of its own beyond the 32-bit range. A text
// that is not a whole number (an empty field, a lone minus sign) reads as 0.

#include <QSpinBox>

class TCSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit TCSpinEdit(QWidget* parent = nullptr);

    int Value() const;
    void SetValue(int value) { setValue(value); }
};
