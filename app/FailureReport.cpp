#include "app/FailureReport.h"

#include "app/Application.h"

#include <QtGlobal>
#include <new>

QString FailureText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

void ReportCurrentException() noexcept {
    QString message;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        message = QStringLiteral("Out of memory");
    } catch (const std::exception& failure) {
        message = QString::fromUtf8(failure.what());
    } catch (...) {
        message = QStringLiteral("Unknown failure");
    }
    try {
        if (TApplication* application = TApplication::Instance())
            application->ShowFailure(message);
        else
            qWarning("%s", qUtf8Printable(FailureText(message)));
    } catch (...) {
        // A report that fails itself must not take the program down.
        qWarning("%s", qUtf8Printable(FailureText(message)));
    }
}
