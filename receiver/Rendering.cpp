#include "receiver/Rendering.h"

namespace {

bool Shown(unsigned char byte) {
    return byte >= 0x10 && byte <= 0xC0;
}

} // namespace

std::string PrintableText(const char* bytes, int n) {
    std::string text;
    text.reserve(n > 0 ? static_cast<size_t>(n) : 0);
    for (int i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += Shown(byte) ? static_cast<char>(byte) : '.';
    }
    return text;
}

std::string PlainText(const char* bytes, int n) {
    std::string text;
    text.reserve(n > 0 ? static_cast<size_t>(n) : 0);
    for (int i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte <= 0xC0) {
            text += static_cast<char>(byte);
        } else if (byte == 0x0A) {
            text += '\n';
            if (i + 1 < n && bytes[i + 1] == '\r')
                ++i; // the pair LF CR is one line break
        } else {
            text += ' ';
        }
    }
    return text;
}

std::string RenderBytes(const char* bytes, int n, bool fullCommunication) {
    if (!fullCommunication)
        return PlainText(bytes, n);
    static const char hex[] = "0123456789ABCDEF";
    std::string text = PrintableText(bytes, n);
    text += " (" + std::to_string(n) + " bytes: ";
    for (int i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += hex[byte >> 4];
        text += hex[byte & 0x0F];
        text += ' ';
    }
    text += ')';
    return text;
}
