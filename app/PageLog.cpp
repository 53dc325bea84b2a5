#include "app/PageLog.h"

#include "app/LogEdit.h"

#include <QGroupBox>

namespace {

QWidget* FirstChildWidget(const QWidget* parent) {
    for (QObject* child : parent->children())
        if (auto* widget = qobject_cast<QWidget*>(child))
            return widget;
    return nullptr;
}

} // namespace

TLogEdit* FindPageLog(QWidget* page) {
    if (page == nullptr)
        return nullptr;
    for (QObject* child : page->children()) {
        if (auto* box = qobject_cast<QGroupBox*>(child))
            return qobject_cast<TLogEdit*>(FirstChildWidget(box));
    }
    return nullptr;
}
