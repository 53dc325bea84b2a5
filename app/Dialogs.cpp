#include "Dialogs.h"

#include "OpenDialog.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon ToolkitIcon(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    case TMsgIcon::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

bool TQtDialogs::AskYesNo(QWidget* parent, const QString& caption, const QString& text,
                          TMsgIcon icon) {
    QMessageBox box(ToolkitIcon(icon), caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TQtDialogs::ShowOk(QWidget* parent, const QString& caption, const QString& text,
                        TMsgIcon icon) {
    QMessageBox box(ToolkitIcon(icon), caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool TQtDialogs::ExecuteOpen(QWidget* parent, TOpenDialog& dialog) {
    QFileDialog files(parent, QString(), dialog.InitialDir, ToolkitFilter(dialog.Filter));
    files.setAcceptMode(QFileDialog::AcceptOpen);
    files.setFileMode(dialog.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    files.setSizeGripEnabled(dialog.EnableSizing);
    const QStringList filters = files.nameFilters();
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
        files.selectNameFilter(filters[dialog.FilterIndex - 1]);
    if (!dialog.FileName.isEmpty())
        files.selectFile(dialog.FileName);
    if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty())
        return false;
    dialog.FileName = files.selectedFiles().constFirst();
    dialog.FilterIndex = int(filters.indexOf(files.selectedNameFilter())) + 1;
    return true;
}

int TQtDialogs::ExecModal(QDialog& dialog) { return dialog.exec(); }
