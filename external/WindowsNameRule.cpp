#include "external/WindowsNameRule.h"

#include <array>
#include <cctype>
#include <string_view>

namespace {

// Device names Windows finds in every folder, whatever the extension.
bool IsDeviceName(std::string_view name) {
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1); // "CON .txt" is CON too
    std::string upper;
    for (char c : name)
        upper += char(std::toupper(static_cast<unsigned char>(c)));
    constexpr std::array<std::string_view, 4> plain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : plain)
        if (upper == device)
            return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}

// Whether `text` is well-formed UTF-8: Wine turns a name into UTF-16 by it.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        char32_t code = lead;
        if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, code = lead & 0x07;
        else if (lead >= 0xE0)
            length = 3, code = lead & 0x0F;
        else if (lead >= 0xC2 && lead < 0xE0)
            length = 2, code = lead & 0x1F;
        else if (lead >= 0x80)
            return false;
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string CharacterProblem(char c, const std::string& quoted) {
    switch (c) {
    case '\\': return "Windows reads the backslash in " + quoted + " as a folder separator";
    case ':': return "Windows reads the colon in " + quoted + " as a drive or a stream";
    default: break;
    }
    if (static_cast<unsigned char>(c) < 0x20)
        return "a Windows name cannot hold the control character in " + quoted;
    return std::string("a Windows name cannot hold the ") + c + " in " + quoted;
}

} // namespace

std::string WindowsNameProblem(const std::string& path) {
    if (!IsUtf8(path))
        return "Windows cannot read a name that is not UTF-8 text";
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos)
            end = path.size();
        const std::string name = path.substr(begin, end - begin);
        begin = end + 1;
        if (name.empty())
            continue;
        const std::string quoted = "\"" + name + "\"";
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x20 ||
                std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos)
                return CharacterProblem(c, quoted);
        if (name.back() == ' ' || name.back() == '.')
            return "Windows drops the space or dot that " + quoted + " ends in";
        if (IsDeviceName(name))
            return "Windows reads " + quoted + " as a device, not a file";
    }
    return {};
}
