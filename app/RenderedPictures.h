#pragma once
// The program's pictures as pixels, drawn from app/images/*.svg when the program is built
// (render_pictures, RenderPictures.cpp), so that starting the program costs no drawing, no
// decoding and no Qt Svg. Each picture comes in the pixel sizes a screen may ask for.

#include <cstdint>

// Size x Size pixels, row after row, premultiplied ARGB32 (QImage::Format_ARGB32_Premultiplied).
struct TRenderedImage {
    int Size;
    const uint32_t* Pixels;
};

struct TRenderedPicture {
    const TRenderedImage* Images;
    int Count;
};

namespace RenderedPictures {
// The tool-bar pictures at 32 and 64 pixels.
extern const TRenderedPicture OpenFolder, ExitDoor, ProgramChip, PortOpen, PortClosed, EraseChip,
    ClearLog;
// The program's own icon at 16, 32, 48, 64 and 128 pixels.
extern const TRenderedPicture Application;
} // namespace RenderedPictures
