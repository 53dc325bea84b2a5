#pragma once
// A flat tool bar laid inside a page, with a thin border on all four sides. Widgets added to it
// are shown and hidden through the toolbar's action for them, which SetItemVisible does.

#include <QToolBar>

class TToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit TToolBar(const QString& name, QWidget* parent = nullptr);

    // Shows or hides an item added with addWidget; hiding the widget itself would not do it.
    void SetItemVisible(QWidget* item, bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;
};
