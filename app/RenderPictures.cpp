// Build-time tool: draws the program's vector pictures into pixel arrays that are compiled into
// the program, so that the program neither loads Qt Svg nor draws or decodes a picture while it
// starts. Each size is drawn as the program drew it before: the whole picture scaled onto a
// transparent square of that many pixels, kept premultiplied as a pixmap keeps it.
//
// Usage: render_pictures <output.cpp> {<name> <picture.svg> <size>[,<size>...]}...
// Each name becomes `const TRenderedPicture RenderedPictures::<name>` (RenderedPictures.h).
//
//        render_pictures --icon <output.ico> <picture.svg> <size>[,<size>...]
// The same pixels as a Windows icon file, for the Windows program's package: one 32-bit image
// with straight alpha per size, as every Windows version and the installer builder read it.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QSvgRenderer>
#include <QTextStream>
#include <cstdint>
#include <cstdio>

namespace {

int Fail(const QString& message) {
    std::fprintf(stderr, "render_pictures: %s\n", qUtf8Printable(message));
    return 1;
}

// The picture scaled onto a transparent square of `size` pixels, premultiplied.
QImage Render(QSvgRenderer& renderer, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image;
}

// The sizes of a comma-separated list, empty when one is not a size from 1 to 1024 (an icon
// entry holds at most 256).
QList<int> Sizes(const char* text, int largest) {
    QList<int> sizes;
    for (const QString& part : QString::fromLatin1(text).split(u',')) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size <= 0 || size > largest)
            return {};
        sizes << size;
    }
    return sizes;
}

void PutLittle(QByteArray& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// An icon file: its header, one directory entry per image, then each image as a device-
// independent bitmap of twice its height (the colour rows bottom-up, BGRA with straight alpha,
// then an all-clear AND mask whose rows are padded to 32 bits).
QByteArray IconFile(QSvgRenderer& renderer, const QList<int>& sizes) {
    QList<QByteArray> images;
    for (const int size : sizes) {
        const QImage image = Render(renderer, size).convertToFormat(QImage::Format_ARGB32);
        const int maskRow = ((size + 31) / 32) * 4;
        QByteArray dib;
        PutLittle(dib, 40, 4); // BITMAPINFOHEADER
        PutLittle(dib, uint32_t(size), 4);
        PutLittle(dib, uint32_t(2 * size), 4);
        PutLittle(dib, 1, 2);  // planes
        PutLittle(dib, 32, 2); // bits per pixel
        PutLittle(dib, 0, 4);  // BI_RGB
        PutLittle(dib, uint32_t(size * size * 4 + size * maskRow), 4);
        PutLittle(dib, 0, 16); // resolution and palette: none
        for (int y = size - 1; y >= 0; --y)
            for (int x = 0; x < size; ++x)
                PutLittle(dib, image.pixel(x, y), 4); // 0xAARRGGBB, stored B G R A
        dib.append(QByteArray(size * maskRow, '\0'));
        images << dib;
    }
    QByteArray file;
    PutLittle(file, 0, 2);
    PutLittle(file, 1, 2); // an icon
    PutLittle(file, uint32_t(images.size()), 2);
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (int i = 0; i < images.size(); ++i) {
        PutLittle(file, uint32_t(sizes[i] % 256), 1); // 256 is written as 0
        PutLittle(file, uint32_t(sizes[i] % 256), 1);
        PutLittle(file, 0, 2); // no palette, reserved
        PutLittle(file, 1, 2);
        PutLittle(file, 32, 2);
        PutLittle(file, uint32_t(images[i].size()), 4);
        PutLittle(file, offset, 4);
        offset += uint32_t(images[i].size());
    }
    for (const QByteArray& image : images)
        file += image;
    return file;
}

bool WriteFile(const QString& name, const QByteArray& data) {
    QFile file(name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

int WriteIcon(const QString& output, const QString& picture, const char* sizeList) {
    QSvgRenderer renderer(picture);
    if (!renderer.isValid())
        return Fail(picture + QStringLiteral(": not a picture"));
    const QList<int> sizes = Sizes(sizeList, 256);
    if (sizes.isEmpty())
        return Fail(picture + QStringLiteral(": bad sizes ") + QString::fromLatin1(sizeList));
    if (!WriteFile(output, IconFile(renderer, sizes)))
        return Fail(output + QStringLiteral(": cannot write"));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && QByteArray(argv[1]) == "--icon")
        return WriteIcon(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), argv[4]);
    if (argc < 5 || (argc - 2) % 3 != 0)
        return Fail(
            QStringLiteral("usage: render_pictures <output.cpp> {<name> <svg> <sizes>}..."));
    QString code;
    QTextStream out(&code);
    out << "// Generated by render_pictures from the pictures' SVG files; do not edit.\n"
           "#include \"app/RenderedPictures.h\"\n\nnamespace {\n";
    QString pictures;
    for (int arg = 2; arg < argc; arg += 3) {
        const QString name = QString::fromLocal8Bit(argv[arg]);
        // The name goes into the generated code as it is.
        static const QRegularExpression identifier(QStringLiteral("^[A-Za-z][A-Za-z0-9]*$"));
        if (!identifier.match(name).hasMatch())
            return Fail(name + QStringLiteral(": not a name for code"));
        const QString file = QString::fromLocal8Bit(argv[arg + 1]);
        QSvgRenderer renderer(file);
        if (!renderer.isValid())
            return Fail(file + QStringLiteral(": not a picture"));
        const QList<int> sizes = Sizes(argv[arg + 2], 1024);
        if (sizes.isEmpty())
            return Fail(file + QStringLiteral(": bad sizes ") + QString::fromLatin1(argv[arg + 2]));
        QStringList images;
        for (const int size : sizes) {
            const QImage image = Render(renderer, size);
            const QString array = name + QString::number(size);
            out << "const uint32_t " << array << "[] = {";
            for (int y = 0; y < size; ++y) {
                const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
                out << "\n   ";
                for (int x = 0; x < size; ++x)
                    out << " 0x" << QString::number(line[x], 16) << ',';
            }
            out << "\n};\n";
            images << QStringLiteral("{%1, %2}").arg(size).arg(array);
        }
        out << "const TRenderedImage " << name << "Images[] = {" << images.join(u", ") << "};\n";
        pictures += QStringLiteral("const TRenderedPicture %1 = {%1Images, %2};\n")
                        .arg(name)
                        .arg(images.size());
    }
    // The header declares these records; the arrays behind them stay file-local.
    out << "} // namespace\n\nnamespace RenderedPictures {\n"
        << pictures << "} // namespace RenderedPictures\n";
    out.flush();

    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(code.toUtf8()) < 0)
        return Fail(file.fileName() + QStringLiteral(": ") + file.errorString());
    return 0;
}
