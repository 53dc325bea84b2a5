#pragma once
// A flat 39 x 38 tool button that shows a picture of the window's image list by index.

#include <QToolButton>

class TImageList;

class TToolButton : public QToolButton {
    Q_OBJECT
public:
    TToolButton(const QString& name, const TImageList& images, int imageIndex,
                QWidget* parent = nullptr);

    int ImageIndex() const { return m_imageIndex; }
    void SetImageIndex(int index);

    // Check-style buttons stay down while their state holds (the open port).
    bool Down() const { return isChecked(); }
    void SetDown(bool down) { setChecked(down); }

private:
    const TImageList& m_images;
    int m_imageIndex;
};
