#include "app/Dialogs.h"

#include "app/OpenDialog.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>

namespace {

// The widths of a window's frame, as far as the toolkit knows them (none before it is shown).
QMargins FrameOf(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect inside = window.geometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(),
            frame.right() - inside.right(), frame.bottom() - inside.bottom()};
}

// Centres a box over the window of `parent`, kept on that window's screen. Left to the toolkit,
// a box without a window manager lands off centre (the toolkit guesses a window frame) or, with
// no parent, in the middle of the screen, away from the window it belongs to.
void CentreOver(QWidget& box, const QWidget* parent) {
    if (parent == nullptr)
        return;
    const QWidget* window = parent->window();
    // A box about to be shown has no frame yet: it will get one like its owner's.
    const QMargins known = FrameOf(box);
    const QMargins frame = known.isNull() ? FrameOf(*window) : known;
    QRect placed = QRect(QPoint(), box.size()).marginsAdded(frame);
    placed.moveCenter(window->frameGeometry().center());
    if (const QScreen* screen = window->screen()) {
        const QRect room = screen->availableGeometry();
        placed.moveLeft(
            std::max(room.left(), std::min(placed.left(), room.right() - placed.width() + 1)));
        placed.moveTop(
            std::max(room.top(), std::min(placed.top(), room.bottom() - placed.height() + 1)));
    }
    // move() places the frame as far as the toolkit knows it, and the box inside it.
    box.move(placed.topLeft() + QPoint(frame.left() - known.left(), frame.top() - known.top()));
}

// A toolkit dialog that opens centred over the window that asked. It is placed when its show
// event comes, after the dialog has laid itself out at its final size and before it is on the
// screen, so it never shows elsewhere first.
template <class Dialog> class TCentred final : public Dialog {
public:
    using Dialog::Dialog;

protected:
    void showEvent(QShowEvent* event) override {
        Dialog::showEvent(event);
        CentreOver(*this, this->parentWidget());
    }
};

QMessageBox::Icon ToolkitIcon(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Warning: return QMessageBox::Warning;
    case TMsgIcon::Question: return QMessageBox::Question;
    case TMsgIcon::Error: return QMessageBox::Critical;
    case TMsgIcon::Information: break;
    }
    return QMessageBox::Information;
}

} // namespace

bool TQtDialogs::AskYesNo(QWidget* parent, const QString& caption, const QString& text,
                          TMsgIcon icon, TMsgDefault preset) {
    TCentred<QMessageBox> box(ToolkitIcon(icon), caption, text, QMessageBox::Yes | QMessageBox::No,
                              parent);
    box.setDefaultButton(preset == TMsgDefault::No ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TQtDialogs::ShowOk(QWidget* parent, const QString& caption, const QString& text,
                        TMsgIcon icon) {
    TCentred<QMessageBox> box(ToolkitIcon(icon), caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool TQtDialogs::ExecuteOpen(QWidget* parent, TOpenDialog& dialog) {
    TCentred<QFileDialog> files(parent, QString(), dialog.InitialDir, ToolkitFilter(dialog.Filter));
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

bool TQtDialogs::ExecuteSave(QWidget* parent, const QString& caption, QString& fileName) {
    TCentred<QFileDialog> files(parent, caption, QString(),
                                QStringLiteral("Text files (*.txt);;All files (*)"));
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setFileMode(QFileDialog::AnyFile);
    if (!fileName.isEmpty())
        files.selectFile(fileName);
    if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty())
        return false;
    fileName = files.selectedFiles().constFirst();
    return true;
}

int TQtDialogs::ExecModal(QDialog& dialog) {
    return dialog.exec();
}
