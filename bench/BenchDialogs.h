#pragma once
// Dialogs for benchmarks that drive the main window: no box is ever shown, every question is
// answered No ("is the receiver frozen?" included), so the window is left to the line alone.

#include "app/Dialogs.h"

class TNoDialogs final : public TDialogs {
public:
    bool AskYesNo(QWidget*, const QString&, const QString&, TMsgIcon, TMsgDefault) override {
        return false;
    }
    void ShowOk(QWidget*, const QString&, const QString&, TMsgIcon) override {}
    bool ExecuteOpen(QWidget*, TOpenDialog&) override { return false; }
    bool ExecuteSave(QWidget*, const QString&, QString&) override { return false; }
    int ExecModal(QDialog&) override { return 0; }
};
