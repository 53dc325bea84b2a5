#include "winapp/Layout.h"

#include <cstddef>

namespace Layout {

int Px(int designPixels) {
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int found = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen != nullptr)
            ReleaseDC(nullptr, screen);
        return found > 0 ? found : 96;
    }();
    return MulDiv(designPixels, dpi, 96);
}

HFONT DialogFont() {
    static const HFONT font = [] {
        NONCLIENTMETRICSW metrics{};
        // The size of the structure as the oldest supported Windows knows it.
        metrics.cbSize = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
            return CreateFontIndirectW(&metrics.lfMessageFont);
        return HFONT(GetStockObject(DEFAULT_GUI_FONT));
    }();
    return font;
}

HWND Child(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, int id, int x,
           int y, int width, int height, DWORD exStyle) {
    HWND control = CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, Px(x),
                                   Px(y), Px(width), Px(height), parent, HMENU(INT_PTR(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr)
        SendMessageW(control, WM_SETFONT, WPARAM(DialogFont()), FALSE);
    return control;
}

void Place(HWND control, int x, int y, int width, int height) {
    MoveWindow(control, Px(x), Px(y), Px(width), Px(height), TRUE);
}

} // namespace Layout
