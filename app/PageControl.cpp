#include "app/PageControl.h"

#include "app/FailureReport.h"

#include <QEvent>
#include <QKeyEvent>
#include <QTabBar>

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    tabBar()->installEventFilter(this);
}

bool TPageControl::Allowed() {
    bool allow = true;
    if (OnChanging) {
        try {
            OnChanging(this, allow);
        } catch (...) {
            ReportCurrentException();
            allow = false;
        }
    }
    return allow;
}

bool TPageControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tabBar()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            if (!Allowed())
                return true; // the tabs do not see it, the page stays
            break;
        default: break;
        }
    }
    return QTabWidget::eventFilter(watched, event);
}

void TPageControl::keyPressEvent(QKeyEvent* event) {
    // Ctrl+Tab and Ctrl+PgUp/PgDown change pages from anywhere in the control.
    const bool pageKey = (event->modifiers() & Qt::ControlModifier) &&
                         (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab ||
                          event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown);
    if (pageKey && !Allowed()) {
        event->accept();
        return;
    }
    QTabWidget::keyPressEvent(event);
}
