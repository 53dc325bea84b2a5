// What the window costs and shows while it starts: the port list read once, the tool-bar
// pictures and the program's icon drawn from their SVG files when the program was built, and
// the tool bars' overflow arrow, which the program's style fetches only when it is drawn.

#include "app/AppStyle.h"
#include "app/ImageList.h"
#include "controls/ComComboBox.h"
#include "serial/ComPort.h"
#include "tests/app/WindowHarness.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QStyleOption>
#include <QSvgRenderer>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

QImage Drawn(const QIcon& icon, int size, qreal scale) {
    return icon.pixmap(QSize(size, size), scale)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

// Walking the system's devices is a good part of the start-up: the window does it once, when
// the settings are loaded, and the stored position counts in the list as it is then.
TEST(StartupTest, PortListIsReadOnceWhileTheWindowIsBuilt) {
    TWindowHarness harness;
    int reads = 0;
    harness.services.ListPorts = [&](std::vector<std::string>& ports) {
        ++reads;
        ports = {"read" + std::to_string(reads), "COM1", "COM2"};
    };
    harness.store.OpenKey(QStringLiteral("Software\\VellWriter"), true);
    harness.store.WriteInteger(QStringLiteral("ComPort"), 2);
    harness.store.CloseKey();
    const auto form = harness.Build();
    EXPECT_EQ(reads, 1);
    ASSERT_EQ(form->PortList().count(), 3);
    EXPECT_EQ(form->PortList().itemText(0), QStringLiteral("read1"));
    EXPECT_EQ(form->Port().Port(), "COM2");
}

// Each size is the picture's SVG file drawn onto a transparent square of that many pixels, as
// the program drew it at start-up before: a wrong file, size or pixel format shows here.
TEST(StartupTest, EachPictureIsItsSvgFileAtEachOfItsSizes) {
    const TImageList images;
    const struct {
        std::function<QIcon()> icon;
        const char* file;
        std::vector<int> sizes;
    } cases[] = {
        {[&] { return images.Icon(TImageList::imgOpenFile); }, "open-folder.svg", {32, 64}},
        {[&] { return images.Icon(TImageList::imgExit); }, "exit-door.svg", {32, 64}},
        {[&] { return images.Icon(TImageList::imgProgram); }, "program-chip.svg", {32, 64}},
        {[&] { return images.Icon(TImageList::imgPortOpen); }, "port-open.svg", {32, 64}},
        {[&] { return images.Icon(TImageList::imgPortClosed); }, "port-closed.svg", {32, 64}},
        {[&] { return images.Icon(TImageList::imgErase); }, "erase-chip.svg", {32, 64}},
        {[&] { return images.Icon(TImageList::imgClearLog); }, "clear-log.svg", {32, 64}},
        {TImageList::ApplicationIcon, "vell-writer.svg", {16, 32, 48, 64, 128}},
    };
    EXPECT_EQ(images.Count(), 7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QIcon icon = c.icon();
        QList<QSize> sizes;
        for (int size : c.sizes)
            sizes.push_back(QSize(size, size));
        EXPECT_EQ(icon.availableSizes(), sizes);
        QSvgRenderer renderer(QStringLiteral(PICTURES_DIR "/") + QLatin1String(c.file));
        ASSERT_TRUE(renderer.isValid());
        for (int size : c.sizes) {
            QImage expected(size, size, QImage::Format_ARGB32_Premultiplied);
            expected.fill(Qt::transparent);
            QPainter painter(&expected);
            renderer.render(&painter);
            painter.end();
            EXPECT_EQ(Drawn(icon, size, 1.0), expected) << size;
        }
        // A screen at twice the pixels gets the larger picture, not the smaller one scaled up.
        if (c.sizes.size() > 1) {
            EXPECT_EQ(Drawn(icon, c.sizes[0], 2.0), Drawn(icon, c.sizes[1], 1.0));
        }
    }
}

TEST(StartupTest, ToolBarOverflowArrowIsThePlatformsOwn) {
    TAppStyle style;
    for (const auto arrow :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton})
        for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            SCOPED_TRACE(testing::Message() << arrow << " " << direction);
            QStyleOption option;
            option.direction = direction;
            const QIcon icon = style.standardIcon(arrow, &option);
            const QIcon own = style.baseStyle()->standardIcon(arrow, &option);
            ASSERT_FALSE(own.isNull());
            EXPECT_FALSE(icon.isNull());
            EXPECT_EQ(icon.availableSizes(), own.availableSizes());
            EXPECT_EQ(icon.actualSize(QSize(12, 12)), own.actualSize(QSize(12, 12)));
            for (const qreal scale : {1.0, 2.0}) {
                EXPECT_EQ(Drawn(icon, 12, scale), Drawn(own, 12, scale)) << scale;
                EXPECT_EQ(icon.pixmap(QSize(12, 12), scale).devicePixelRatio(),
                          own.pixmap(QSize(12, 12), scale).devicePixelRatio());
            }
        }
}
