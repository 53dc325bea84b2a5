#pragma once
// The window's page control: a tab widget whose owner may refuse a change of page the user
// asks for (a click, the keyboard, the wheel on the tabs). Changes made from code are not
// asked about.

#include <QTabWidget>
#include <functional>

class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* parent = nullptr);

    // Asked before a change the user makes; AllowChange starts true.
    std::function<void(QObject* Sender, bool& AllowChange)> OnChanging;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool Allowed();
};
