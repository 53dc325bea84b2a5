// Choosing the image file: the dialog, the size check of its kind, and the lines that tell
// which load is ready and which was dropped.

#include "SDIAppForm.h"

#include "Dialogs.h"
#include "ImageFileCheck.h"
#include "LogEdit.h"
#include "OpenDialog.h"
#include "PageControl.h"

#include <QDir>

void TSDIAppForm::FileOpen1Execute(QObject*) {
    const int32_t kind = PageControl1->currentIndex();
    const int32_t earlierKind = SelectedKind;
    const QString earlierFile = OpenDialog->FileName;
    OpenDialog->Filter =
        QStringLiteral("Dat files|*.dat|Bin files|*.bin|RCU files|*.Rcu|All files|*.*");
    if (!m_dialogs.ExecuteOpen(this, *OpenDialog))
        return;

    const int32_t size = ImageFileSize(OpenDialog->FileName);
    // Taken while the selection is still the earlier one: that load is the one dropped.
    TLogEdit* earlierLog = earlierKind != ikNone ? KindLog() : nullptr;
    SelectedKind = kind;

    if (const auto question = SizeQuestion(kind, size);
        question && !m_dialogs.AskYesNo(this, QStringLiteral("Attention"), *question,
                                        TMsgIcon::Warning)) {
        SelectedKind = earlierKind;
        OpenDialog->FileName = earlierFile;
        return;
    }
    if (earlierLog != nullptr) {
        earlierLog->SetColor(clNavy);
        earlierLog->Append("\nDelete last load command...");
    }
    TLogEdit* log = ActivePageLog();
    log->SetColor(clBlue);
    log->Append(QString::fromLatin1(ReadyText(kind)) + QDir::toNativeSeparators(OpenDialog->FileName));
    log->Append(ReceiverState == rsIdle ? "\nPress a button in front of receiver to start download..."
                                        : "\nPress the program button to write your receiver...");
    // The next dialog opens in the folder of this file.
    const qsizetype separator = OpenDialog->FileName.lastIndexOf(u'/');
    if (separator >= 0)
        OpenDialog->InitialDir = OpenDialog->FileName.left(separator + 1);
}
