#include "Application.h"

#include "Dialogs.h"
#include "FailureReport.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TApplication* TApplication::Instance() { return qobject_cast<TApplication*>(instance()); }

void TApplication::ShowFailure(const QString& message) {
    const QString text = FailureText(message);
    if (m_dialogs == nullptr || m_reporting > 0) {
        qWarning("%s", qUtf8Printable(text));
        return;
    }
    ++m_reporting;
    struct Done {
        int& count;
        ~Done() { --count; }
    } done{m_reporting};
    m_dialogs->ShowOk(activeWindow(), m_title, text, TMsgIcon::Error);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}
