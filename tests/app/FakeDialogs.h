#pragma once
// Answers the program's modal boxes in tests and records what was shown.

#include "app/Dialogs.h"
#include "app/OpenDialog.h"

#include <QDialog>
#include <QString>
#include <deque>
#include <optional>
#include <vector>

class TFakeDialogs final : public TDialogs {
public:
    struct Shown {
        QString caption;
        QString text;
        TMsgIcon icon;
        bool yesNo;
        TMsgDefault preset = TMsgDefault::Yes; // of a Yes/No box
    };

    std::vector<Shown> shown;          // every box, in order
    std::deque<bool> answers;          // answers to Yes/No boxes; Yes (the default) when empty
    std::optional<QString> openAnswer; // the file chosen in the open dialog; none = cancel
    int openCount = 0;
    TOpenDialog lastOpen;              // the open dialog as it was when shown
    std::optional<QString> saveAnswer; // the name chosen in the save dialog; none = cancel
    int saveCount = 0;
    int modalCount = 0;
    QDialog* lastModal = nullptr;

    bool AskYesNo(QWidget*, const QString& caption, const QString& text, TMsgIcon icon,
                  TMsgDefault preset) override {
        shown.push_back({caption, text, icon, true, preset});
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowOk(QWidget*, const QString& caption, const QString& text, TMsgIcon icon) override {
        shown.push_back({caption, text, icon, false});
    }
    bool ExecuteOpen(QWidget*, TOpenDialog& dialog) override {
        ++openCount;
        lastOpen = dialog;
        if (!openAnswer)
            return false;
        dialog.FileName = *openAnswer;
        return true;
    }
    bool ExecuteSave(QWidget*, const QString&, QString& fileName) override {
        ++saveCount;
        if (!saveAnswer)
            return false;
        fileName = *saveAnswer;
        return true;
    }
    // Shows the dialog for real (offscreen), then closes it as its OK button would.
    int ExecModal(QDialog& dialog) override {
        ++modalCount;
        lastModal = &dialog;
        dialog.show();
        dialog.accept();
        return dialog.result();
    }
};
