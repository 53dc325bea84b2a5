// Choosing the image file: the dialog, the checks of the file and of its kind's size, the lines
// that tell which load is ready and which was dropped.

#include "Dialogs.h"
#include "ImageFileCheck.h"
#include "LogEdit.h"
#include "OpenDialog.h"
#include "PageControl.h"
#include "SDIAppForm.h"

#include <QDir>

void TSDIAppForm::FileOpen1Execute(QObject*) {
    const int32_t kind = PageControl1->currentIndex();
    TReceiverDialogue& dialogue = m_dialogue;
    const int32_t earlierKind = dialogue.SelectedKind;
    const QString earlierFile = OpenDialog->FileName;
    const TImageStamp earlierImage = dialogue.ChosenImage;
    OpenDialog->Filter =
        QStringLiteral("Dat files|*.dat|Bin files|*.bin|RCU files|*.Rcu|All files|*.*");
    if (!m_dialogs.ExecuteOpen(this, *OpenDialog))
        return;

    const TImageMeasure image = MeasureImage(OpenDialog->FileName);
    if (!image.problem.isEmpty()) {
        // Refused like a No, with the reason: the earlier choice stays.
        const QString path = OpenDialog->FileName;
        OpenDialog->FileName = earlierFile;
        TLogEdit* log = ActivePageLog();
        log->SetColor(clRed);
        log->Append(QStringLiteral("Cannot load ") + QDir::toNativeSeparators(path) +
                    QStringLiteral(": ") + image.problem + QStringLiteral("..."));
        return;
    }
    const int32_t size = image.stamp.Size32();
    // Taken while the selection is still the earlier one: that load is the one dropped.
    TLog* earlierLog = earlierKind != ikNone ? dialogue.KindLog() : nullptr;
    dialogue.SelectedKind = kind;

    if (const auto question = SizeQuestion(kind, size);
        question &&
        !m_dialogs.AskYesNo(this, QStringLiteral("Attention"), *question, TMsgIcon::Warning)) {
        dialogue.SelectedKind = earlierKind;
        OpenDialog->FileName = earlierFile;
        dialogue.ChosenImage = earlierImage;
        return;
    }
    dialogue.ChosenImage = image.stamp;
    if (earlierLog != nullptr) {
        earlierLog->SetColor(clNavy);
        earlierLog->Append("\nDelete last load command...");
    }
    TLogEdit* log = ActivePageLog();
    log->SetColor(clBlue);
    log->Append(QString::fromLatin1(ReadyText(kind)) +
                QDir::toNativeSeparators(OpenDialog->FileName));
    log->Append(dialogue.ReceiverState == rsIdle
                    ? "\nPress a button in front of receiver to start download..."
                    : "\nPress the program button to write your receiver...");
    // The next dialog opens in the folder of this file.
    const qsizetype separator = OpenDialog->FileName.lastIndexOf(u'/');
    if (separator >= 0)
        OpenDialog->InitialDir = OpenDialog->FileName.left(separator + 1);
}
