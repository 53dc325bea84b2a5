#include "controls/LedDrawing.h"

#include "controls/LedBitmaps.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <algorithm>
#include <climits>
#include <map>
#include <string>

namespace {

constexpr int Size = 15;
// Teal (0, 128, 128), a colour no lamp uses, marks what is not lamp. Not olive: that is the
// yellow lamp's dark shade.
constexpr int ClearIndex = 6;

struct TLampColours {
    QColor Bright; // the lit centre
    QColor Dark;   // the unlit centre, and the rim of the lit one
};

// --- Drawing, in true colour ------------------------------------------------------------------

// A sunken round bezel: light from the upper left leaves its upper-left edge in shadow and its
// lower-right edge lit, with a black ring around the glass.
void DrawBezel(QPainter& painter) {
    QLinearGradient rim(QPointF(2, 2), QPointF(13, 13));
    rim.setColorAt(0.0, QColor(60, 60, 60));
    rim.setColorAt(0.45, QColor(128, 128, 128));
    rim.setColorAt(1.0, QColor(255, 255, 255));
    painter.setPen(Qt::NoPen);
    painter.setBrush(rim);
    painter.drawEllipse(QPointF(7.5, 7.5), 7.4, 7.4);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPointF(7.5, 7.5), 6.4, 6.4);
}

void DrawLamp(QPainter& painter, const TLampColours& colours, bool on) {
    DrawBezel(painter);
    const QPointF centre(7.5, 7.5);
    const qreal radius = 5.5;
    // The glass: lit, it glows from a white highlight up and left of centre through its own
    // colour to a darker rim; dark, it is its dark shade throughout.
    QRadialGradient glass(centre, radius + 0.1, QPointF(5.2, 5.2));
    if (on) {
        glass.setColorAt(0.0, Qt::white);
        glass.setColorAt(0.12, Qt::white);
        glass.setColorAt(0.30, colours.Bright.lighter(150));
        glass.setColorAt(0.42, colours.Bright);
        glass.setColorAt(0.82, colours.Bright);
        glass.setColorAt(1.0, colours.Dark);
    } else {
        glass.setColorAt(0.0, colours.Dark);
        glass.setColorAt(1.0, colours.Dark);
    }
    painter.setBrush(glass);
    painter.drawEllipse(centre, radius, radius);
}

void DrawBulb(QPainter& painter, bool on) {
    const QPointF centre(7.5, 6.5);
    const qreal radius = 3.2;
    if (on) {
        // Five short rays over the top half, each two whole pixels: at this size a smoothed
        // ray breaks up into single dots.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(QColor(255, 255, 0), 0));
        painter.drawLine(7, 0, 7, 1);
        painter.drawLine(1, 6, 2, 6);
        painter.drawLine(12, 6, 13, 6);
        painter.drawLine(2, 1, 3, 2);
        painter.drawLine(12, 1, 11, 2);
        painter.setRenderHint(QPainter::Antialiasing, true);
    }
    // The glass with its neck narrowing to the base, as one outlined shape.
    QPainterPath glassShape;
    glassShape.addEllipse(centre, radius, radius);
    QPainterPath neck;
    neck.moveTo(4.7, 8.3);
    neck.lineTo(10.3, 8.3);
    neck.lineTo(9.5, 11.0);
    neck.lineTo(5.5, 11.0);
    neck.closeSubpath();
    glassShape = glassShape.united(neck);
    QRadialGradient glass(centre, radius + 1.5, centre - QPointF(1.2, 1.4));
    glass.setColorAt(0.0, Qt::white);
    glass.setColorAt(0.22, Qt::white);
    glass.setColorAt(0.30, on ? QColor(255, 255, 0) : QColor(192, 192, 192));
    glass.setColorAt(1.0, on ? QColor(255, 255, 0) : QColor(160, 160, 160));
    painter.setPen(QPen(on ? QColor(0, 0, 0) : QColor(128, 128, 128), 1.0));
    painter.setBrush(glass);
    painter.drawPath(glassShape);
    // The screw base: a grey thread on silver, and a black contact below.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(192, 192, 192));
    painter.drawRect(QRectF(5.0, 11.0, 5.0, 3.0));
    painter.setBrush(QColor(128, 128, 128));
    painter.drawRect(QRectF(5.0, 12.0, 5.0, 1.0));
    painter.setBrush(QColor(0, 0, 0));
    painter.drawRect(QRectF(6.0, 14.0, 3.0, 1.0));
}

// --- Reduction to the 16 colours --------------------------------------------------------------

int Distance(QRgb a, int r, int g, int b) {
    const int dr = qRed(a) - r, dg = qGreen(a) - g, db = qBlue(a) - b;
    // Weighted as the eye sees: green differences show most, blue least.
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

// Nearest palette colour to (r, g, b), never the transparent colour, which would punch holes
// into the lamp.
int Nearest(int r, int g, int b) {
    const QList<QRgb>& palette = LedPalette();
    int best = 0;
    int bestDistance = INT_MAX;
    for (int index = 0; index < palette.size(); ++index) {
        if (index == ClearIndex)
            continue;
        const int distance = Distance(palette[index], r, g, b);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = index;
        }
    }
    return best;
}

// Pixels that the drawing covers less than half are background; the rest take the nearest
// palette colour. No error diffusion: on 15 x 15 pixels it scatters odd colours along every
// edge, and the shapes are drawn in palette colours anyway.
QImage Reduce(const QImage& drawn) {
    QImage reduced(Size, Size, QImage::Format_Indexed8);
    reduced.setColorTable(LedPalette());
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            const QRgb pixel = drawn.pixel(x, y);
            const int index = qAlpha(pixel) < 128
                                  ? ClearIndex
                                  : Nearest(qRed(pixel), qGreen(pixel), qBlue(pixel));
            reduced.setPixel(x, y, uint(index));
        }
    }
    return reduced;
}

} // namespace

const QList<QRgb>& LedPalette() {
    static const QList<QRgb> palette = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return palette;
}

QImage DrawLedBitmap(const std::string& name) {
    static const std::map<std::string, TLampColours> lamps = {
        {"RED", {QColor(255, 0, 0), QColor(128, 0, 0)}},
        {"GREEN", {QColor(0, 255, 0), QColor(0, 128, 0)}},
        {"BLUE", {QColor(0, 0, 255), QColor(0, 0, 128)}},
        {"YELLOW", {QColor(255, 255, 0), QColor(128, 128, 0)}},
        {"PURPLE", {QColor(255, 0, 255), QColor(128, 0, 128)}},
    };
    if (name.rfind("LED", 0) != 0)
        return {};
    std::string rest = name.substr(3);
    bool on;
    if (rest.size() > 2 && rest.ends_with("ON")) {
        on = true;
        rest.resize(rest.size() - 2);
    } else if (rest.size() > 3 && rest.ends_with("OFF")) {
        on = false;
        rest.resize(rest.size() - 3);
    } else {
        return {};
    }
    QImage drawn(Size, Size, QImage::Format_ARGB32);
    drawn.fill(Qt::transparent);
    {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::Antialiasing);
        if (rest == "BULB") {
            DrawBulb(painter, on);
        } else {
            const auto lamp = lamps.find(rest);
            if (lamp == lamps.end())
                return {};
            DrawLamp(painter, lamp->second, on);
        }
    }
    return Reduce(drawn);
}
