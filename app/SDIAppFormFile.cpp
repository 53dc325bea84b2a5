// Choosing the image file: the open dialog, offered the dialogue's choice and starting in its
// folder; the dialogue decides what the chosen file is taken for.

#include "app/Dialogs.h"
#include "app/OpenDialog.h"
#include "app/PageControl.h"
#include "app/SDIAppForm.h"

void TSDIAppForm::FileOpen1Execute(QObject*) {
    const int32_t kind = PageControl1->currentIndex();
    OpenDialog->FileName = QString::fromStdString(m_dialogue.ImageFileName());
    OpenDialog->Filter =
        QStringLiteral("Dat files|*.dat|Bin files|*.bin|RCU files|*.Rcu|All files|*.*");
    if (!m_dialogs.ExecuteOpen(this, *OpenDialog))
        return;
    const bool taken = m_dialogue.ChooseImage(kind, OpenDialog->FileName.toStdString());
    OpenDialog->FileName = QString::fromStdString(m_dialogue.ImageFileName());
    // The next dialog opens in the folder of this file.
    if (const std::string folder = TReceiverDialogue::ImageFolder(m_dialogue.ImageFileName());
        taken && !folder.empty())
        OpenDialog->InitialDir = QString::fromStdString(folder);
}
