// Build-time tool: writes the program's icon, drawn from its SVG file (RenderedPictures.h), as
// a Windows icon file for the Windows program's resources, one 32-bit image per drawn size.
// Usage: write_icon <output.ico>

#include "app/RenderedPictures.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One image of the icon: a bitmap header, the pixels bottom-up with straight alpha (an icon's
// are not premultiplied), and an empty mask (the alpha decides).
std::vector<uint8_t> IconImage(const TRenderedImage& image) {
    const uint32_t size = uint32_t(image.Size);
    std::vector<uint8_t> out;
    Put32(out, 40);
    Put32(out, size);
    Put32(out, size * 2); // the colour pixels and the mask
    Put16(out, 1);
    Put16(out, 32);
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    for (uint32_t row = size; row-- > 0;) {
        for (uint32_t x = 0; x < size; ++x) {
            const uint32_t pixel = image.Pixels[row * size + x];
            const uint32_t alpha = pixel >> 24;
            for (int shift : {0, 8, 16}) {
                const uint32_t channel = (pixel >> shift) & 0xFF;
                const uint32_t straight = alpha == 0 ? 0 : channel * 255 / alpha;
                out.push_back(uint8_t(straight > 255 ? 255 : straight));
            }
            out.push_back(uint8_t(alpha));
        }
    }
    const uint32_t maskRow = (size + 31) / 32 * 4;
    out.insert(out.end(), size_t(maskRow) * size, 0);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_icon <output.ico>\n");
        return 1;
    }
    const TRenderedPicture& picture = RenderedPictures::Application;
    std::vector<std::vector<uint8_t>> images;
    for (int i = 0; i < picture.Count; ++i)
        if (picture.Images[i].Size <= 256)
            images.push_back(IconImage(picture.Images[i]));
    std::vector<uint8_t> file;
    Put16(file, 0);
    Put16(file, 1); // an icon
    Put16(file, uint32_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = picture.Images[i].Size;
        file.push_back(uint8_t(size == 256 ? 0 : size));
        file.push_back(uint8_t(size == 256 ? 0 : size));
        file.push_back(0); // no palette
        file.push_back(0);
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, uint32_t(images[i].size()));
        Put32(file, offset);
        offset += uint32_t(images[i].size());
    }
    for (const std::vector<uint8_t>& image : images)
        file.insert(file.end(), image.begin(), image.end());
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
