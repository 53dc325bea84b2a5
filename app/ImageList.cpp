#include "app/ImageList.h"

#include "app/RenderedPictures.h"

#include <QImage>
#include <QPixmap>

namespace {

// One pixmap per rendered size, so the picture stays crisp at any scale; the icon picks the
// size that fits.
QIcon IconOf(const TRenderedPicture& picture) {
    QIcon icon;
    for (int index = 0; index < picture.Count; ++index) {
        const TRenderedImage& image = picture.Images[index];
        // Read in place from the program's own data; the pixmap takes a copy.
        const QImage pixels(reinterpret_cast<const uchar*>(image.Pixels), image.Size, image.Size,
                            image.Size * int(sizeof(uint32_t)),
                            QImage::Format_ARGB32_Premultiplied);
        icon.addPixmap(QPixmap::fromImage(pixels));
    }
    return icon;
}

} // namespace

TImageList::TImageList() {
    // In the order of TImageList::Index.
    static const TRenderedPicture* const pictures[] = {
        &RenderedPictures::OpenFolder,  &RenderedPictures::ExitDoor,
        &RenderedPictures::ProgramChip, &RenderedPictures::PortOpen,
        &RenderedPictures::PortClosed,  &RenderedPictures::EraseChip,
        &RenderedPictures::ClearLog,
    };
    for (const TRenderedPicture* picture : pictures)
        m_icons.push_back(IconOf(*picture));
}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count())
        return {};
    return m_icons[size_t(index)];
}

QIcon TImageList::ApplicationIcon() {
    return IconOf(RenderedPictures::Application);
}
