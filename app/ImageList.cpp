#include "ImageList.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The pictures live in this static library; its resources must be registered by hand.
static void InitImageResources() { Q_INIT_RESOURCE(images); }

namespace {

// Renders a vector picture at every pixel size a screen may ask for, so it stays crisp at any
// scale; the icon picks the size that fits.
QIcon RenderIcon(const QString& resource, std::initializer_list<int> pixelSizes) {
    QSvgRenderer renderer(resource);
    QIcon icon;
    for (int size : pixelSizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

TImageList::TImageList() {
    InitImageResources();
    static const char* const pictures[] = {
        ":/images/open-folder.svg", ":/images/exit-door.svg",   ":/images/program-chip.svg",
        ":/images/port-open.svg",   ":/images/port-closed.svg", ":/images/erase-chip.svg",
        ":/images/clear-log.svg",
    };
    for (const char* picture : pictures)
        m_icons.push_back(RenderIcon(QString::fromLatin1(picture), {Width, 2 * Width}));
}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count())
        return {};
    return m_icons[size_t(index)];
}

QIcon TImageList::ApplicationIcon() {
    InitImageResources();
    return RenderIcon(QStringLiteral(":/images/vell-writer.svg"), {16, 32, 48, 64, 128});
}
