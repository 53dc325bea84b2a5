#include "app/Application.h"

#include "app/AppStyle.h"
#include "app/Dialogs.h"
#include "app/FailureReport.h"
#include "app/ScopeExit.h"

#include <QWidget>

namespace {

// The window a failure report belongs to: the active one; where none is (no window manager
// hands out the focus), the visible main window, so that the box opens over it and not
// somewhere on the screen.
QWidget* ReportOwner() {
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowType() == Qt::Window)
            return window;
    return nullptr;
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setStyle(new TAppStyle); // owned by the application
}

TApplication* TApplication::Instance() {
    return qobject_cast<TApplication*>(instance());
}

void TApplication::ShowFailure(const QString& message) {
    const QString text = FailureText(message);
    if (m_dialogs == nullptr || m_reporting > 0) {
        qWarning("%s", qUtf8Printable(text));
        return;
    }
    ++m_reporting;
    const TScopeExit done([this] { --m_reporting; });
    m_dialogs->ShowOk(ReportOwner(), m_title, text, TMsgIcon::Error);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}
