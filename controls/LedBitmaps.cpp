#include "controls/LedBitmaps.h"

#include "controls/DrawnLamps.h"

#include <cstring>
#include <map>
#include <string>

QImage LedBitmap(const char* name) {
    if (name == nullptr)
        return {};
    static std::map<std::string, QImage> cache;
    const auto cached = cache.find(name);
    if (cached != cache.end())
        return cached->second;
    // Unknown names are not cached: any string may be asked for, and the map must not grow.
    for (int index = 0; index < DrawnLampCount; ++index) {
        const TDrawnLamp& lamp = DrawnLamps[index];
        if (std::strcmp(lamp.Name, name) != 0)
            continue;
        constexpr int size = 15;
        QImage image(size, size, QImage::Format_Indexed8);
        image.setColorTable(LedPalette());
        for (int y = 0; y < size; ++y)
            std::memcpy(image.scanLine(y), lamp.Pixels + y * size, size);
        return cache.emplace(name, image).first->second;
    }
    return {};
}
