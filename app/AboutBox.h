#pragma once
// The About box: a small fixed dialog with the product's captions and an OK button. Created
// hidden at start-up and kept until the application ends; nothing changes its captions.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Copyright;
    QLabel* Comments;
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* event) override;
};
