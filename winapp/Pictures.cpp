#include "winapp/Pictures.h"

#include "app/RenderedPictures.h"
#include "controls/DrawnLamps.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The classic 16-colour VGA palette the lamp pictures index, as 0x00RRGGBB.
constexpr uint32_t LampPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// A top-down 32-bit bitmap whose bits the caller fills with premultiplied BGRA pixels, the
// layout the image lists of common controls 6 blend.
HBITMAP MakeDib(int width, int height, uint32_t** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = static_cast<uint32_t*>(pixels);
    return bitmap;
}

// The drawn picture at exactly `size`, or its largest size.
const TRenderedImage& NearestImage(const TRenderedPicture& picture, int size) {
    const TRenderedImage* best = &picture.Images[0];
    for (int i = 0; i < picture.Count; ++i) {
        const TRenderedImage& image = picture.Images[i];
        if (image.Size == size)
            return image;
        if (image.Size > best->Size)
            best = &image;
    }
    return *best;
}

HBITMAP BitmapOf(const TRenderedImage& image, bool greyed = false) {
    uint32_t* bits = nullptr;
    HBITMAP bitmap = MakeDib(image.Size, image.Size, &bits);
    if (bitmap == nullptr)
        return nullptr;
    // Premultiplied ARGB32 as a 32-bit word is BGRA in memory: the same bytes.
    const size_t count = size_t(image.Size) * size_t(image.Size);
    std::memcpy(bits, image.Pixels, count * 4);
    if (greyed) {
        // Grey at a third of the strength: still premultiplied, every channel within alpha.
        for (size_t i = 0; i < count; ++i) {
            const uint32_t p = bits[i];
            const uint32_t grey =
                (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100 / 3;
            const uint32_t alpha = (p >> 24) / 3;
            const uint32_t level = grey > alpha ? alpha : grey;
            bits[i] = alpha << 24 | level << 16 | level << 8 | level;
        }
    }
    return bitmap;
}

HBITMAP LampBitmap(const char* name) {
    for (int i = 0; i < DrawnLampCount; ++i) {
        if (std::strcmp(DrawnLamps[i].Name, name) != 0)
            continue;
        uint32_t* bits = nullptr;
        HBITMAP bitmap = MakeDib(15, 15, &bits);
        if (bitmap == nullptr)
            return nullptr;
        const uint8_t* pixels = DrawnLamps[i].Pixels;
        // The lower-left pixel's colour marks what is not lamp.
        const uint8_t transparent = pixels[14 * 15];
        for (int p = 0; p < 15 * 15; ++p)
            bits[p] = pixels[p] == transparent ? 0 : 0xFF000000u | LampPalette[pixels[p] & 15];
        return bitmap;
    }
    return nullptr;
}

void AddBitmap(HIMAGELIST list, HBITMAP bitmap) {
    if (bitmap == nullptr)
        return;
    ImageList_Add(list, bitmap, nullptr);
    DeleteObject(bitmap);
}

} // namespace

namespace Pictures {

HIMAGELIST MakeToolBarImages(int size, bool greyed) {
    using namespace RenderedPictures;
    const TRenderedPicture* order[] = {&OpenFolder, &ExitDoor,  &ProgramChip, &PortOpen,
                                       &PortClosed, &EraseChip, &ClearLog};
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, 7, 0);
    for (const TRenderedPicture* picture : order)
        AddBitmap(list, BitmapOf(NearestImage(*picture, size), greyed));
    return list;
}

HIMAGELIST MakeLampImages() {
    const char* names[] = {"LEDRED", "LEDGREEN", "LEDBLUE", "LEDYELLOW", "LEDPURPLE", "LEDBULB"};
    HIMAGELIST list = ImageList_Create(15, 15, ILC_COLOR32, 12, 0);
    for (const char* name : names) {
        AddBitmap(list, LampBitmap((std::string(name) + "ON").c_str()));
        AddBitmap(list, LampBitmap((std::string(name) + "OFF").c_str()));
    }
    return list;
}

HICON MakeApplicationIcon(int size) {
    const TRenderedImage& image = NearestImage(RenderedPictures::Application, size);
    HBITMAP color = BitmapOf(image);
    HBITMAP mask = CreateBitmap(image.Size, image.Size, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = color;
    info.hbmMask = mask;
    HICON icon = color != nullptr && mask != nullptr ? CreateIconIndirect(&info) : nullptr;
    if (color != nullptr)
        DeleteObject(color);
    if (mask != nullptr)
        DeleteObject(mask);
    return icon;
}

} // namespace Pictures
