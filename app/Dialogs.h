#pragma once
// The modal parts of the program behind one small interface, so that tests can answer them
// without a person at the screen. The program uses TQtDialogs; tests install a fake.

#include "receiver/MsgIcon.h"

#include <QString>

class QDialog;
class QWidget;
class TOpenDialog;

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // A box with Yes and No and the given default button. True only when answered Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text,
                          TMsgIcon icon, TMsgDefault preset) = 0;
    // A box with a single OK button.
    virtual void ShowOk(QWidget* parent, const QString& caption, const QString& text,
                        TMsgIcon icon) = 0;
    // Runs the file-open dialog. True when a file was chosen; its path is then the dialog's
    // FileName. On cancel the dialog keeps the file name it had.
    virtual bool ExecuteOpen(QWidget* parent, TOpenDialog& dialog) = 0;
    // Runs a file-save dialog captioned `caption`. True when a name was chosen; `fileName`,
    // the name offered, is then the chosen one.
    virtual bool ExecuteSave(QWidget* parent, const QString& caption, QString& fileName) = 0;
    // Shows one of our own dialogs modally and returns its result code.
    virtual int ExecModal(QDialog& dialog) = 0;
};

class TQtDialogs final : public TDialogs {
public:
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text, TMsgIcon icon,
                  TMsgDefault preset) override;
    void ShowOk(QWidget* parent, const QString& caption, const QString& text,
                TMsgIcon icon) override;
    bool ExecuteOpen(QWidget* parent, TOpenDialog& dialog) override;
    bool ExecuteSave(QWidget* parent, const QString& caption, QString& fileName) override;
    int ExecModal(QDialog& dialog) override;
};
