#include "app/ToolBar.h"

#include <QAction>
#include <QPainter>

TToolBar::TToolBar(const QString& name, QWidget* parent) : QToolBar(parent) {
    setObjectName(name);
    setMovable(false);
    setFloatable(false);
    setContentsMargins(2, 2, 2, 2);
}

void TToolBar::SetItemVisible(QWidget* item, bool visible) {
    for (QAction* action : actions()) {
        if (widgetForAction(action) == item) {
            action->setVisible(visible);
            return;
        }
    }
}

void TToolBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
