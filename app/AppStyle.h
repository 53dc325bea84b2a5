#pragma once
// The program's widget style: the platform's own, except that a tool bar's overflow arrow is
// fetched from it only when first drawn. Every tool bar builds that arrow's icon while it is
// made, though the arrow shows only when the bar is too narrow for its buttons; fetching it
// means reading image files and loading every image format plugin (and Qt Svg through one), a
// good part of the program's start-up. Drawn or measured, the arrow is the platform's own.
// UI thread only, as every style.

#include <QProxyStyle>

class TAppStyle : public QProxyStyle {
    Q_OBJECT
public:
    TAppStyle();

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
