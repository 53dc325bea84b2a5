// Saving a page log from its context menu: the whole log as the user sees it, UTF-8 with a line
// feed after each line, into a file the user names. The target is refused unless it is a
// regular file of the user or a new one (UserFileWrite.h); a failure is told in the failure
// box. The log has no limit of its own, so it is written in one go on the UI thread: text the
// window holds in memory already, a line feed per line, and a few megabytes at most in
// practice (a run logged in full).

#include "app/Dialogs.h"
#include "app/LogEdit.h"
#include "app/SDIAppForm.h"
#include "system/UserFileWrite.h"

#include <QFile>
#include <stdexcept>

void TSDIAppForm::SaveLogAs(QObject* Sender) {
    auto* log = qobject_cast<TLogEdit*>(Sender);
    QString fileName;
    if (log == nullptr || !m_dialogs.ExecuteSave(this, QStringLiteral("Save log as"), fileName))
        return;
    const QByteArray text = log->Text().toUtf8();
    std::string why;
    if (!WriteUserFile(QFile::encodeName(fileName).toStdString(), text.toStdString(), why))
        throw std::runtime_error("The log was not saved to " + fileName.toStdString() + ": " + why);
}
