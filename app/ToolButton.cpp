#include "app/ToolButton.h"

#include "app/ImageList.h"

TToolButton::TToolButton(const QString& name, const TImageList& images, int imageIndex,
                         QWidget* parent)
    : QToolButton(parent), m_images(images), m_imageIndex(-1) {
    setObjectName(name);
    setAutoRaise(true);
    setFixedSize(39, 38);
    setIconSize(QSize(TImageList::Width, TImageList::Height));
    setFocusPolicy(Qt::NoFocus);
    SetImageIndex(imageIndex);
}

void TToolButton::SetImageIndex(int index) {
    if (index == m_imageIndex)
        return;
    m_imageIndex = index;
    setIcon(m_images.Icon(index));
}
