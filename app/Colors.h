#pragma once
// The dialogue's 24-bit colours as the toolkit's colours, and back.

#include "receiver/LogColors.h"

#include <QColor>

inline QColor ToQColor(TColor color) {
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

inline TColor FromQColor(const QColor& color) {
    return TColor(color.red()) | TColor(color.green()) << 8 | TColor(color.blue()) << 16;
}
