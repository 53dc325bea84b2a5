#include "external/BridgeProtocol.h"

#include <algorithm>
#include <charconv>

namespace Bridge {

namespace {

// How many numbers each call takes, and whether a text follows them.
struct TCallShape {
    std::string_view Name;
    size_t Numbers;
    bool Text;
};
constexpr TCallShape kCalls[] = {
    {"WinExec", 1, true},          {"GetForegroundWindow", 0, false},
    {"CloseWindow", 1, false},     {"GetNextDlgTabItem", 3, false},
    {"SendMessage", 4, false},     {"IsWindow", 1, false},
    {"SetClipboardText", 0, true}, {"Sleep", 1, false},
    {"ExitStatus", 0, false},
};

const TCallShape* ShapeOf(std::string_view name) {
    for (const TCallShape& shape : kCalls)
        if (shape.Name == name)
            return &shape;
    return nullptr;
}

// The next space-separated field; the rest of the line stays in `line`.
std::string_view TakeField(std::string_view& line) {
    const size_t space = line.find(' ');
    const std::string_view field = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    return field;
}

template <typename Number> bool ParseNumber(std::string_view field, Number& value) {
    const char* end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, value);
    return !field.empty() && result.ec == std::errc() && result.ptr == end;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string Escape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '%')
            escaped += "%25";
        else if (c == '\n')
            escaped += "%0A";
        else if (c == '\r')
            escaped += "%0D";
        else
            escaped += c;
    }
    return escaped;
}

std::string Unescape(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low >= 0) {
            plain += char(high * 16 + low);
            i += 2;
        } else {
            plain += text[i]; // a stray "%" stands for itself
        }
    }
    return plain;
}

uint64_t NumberOf(std::string_view line) {
    uint64_t number = 0;
    return ParseNumber(TakeField(line), number) ? number : 0;
}

std::string CleanText(std::string_view text, size_t maxBytes) {
    static constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD
    std::string clean;
    clean.reserve(std::min(text.size(), maxBytes));
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = [&](size_t k) { return uint8_t(text[i + k]); };
        const uint8_t lead = byte(0);
        // The length of a well-formed sequence at i and its code point; 0 when ill-formed.
        size_t length = 0;
        uint32_t point = 0;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if (lead >= 0xC2 && lead <= 0xF4) {
            const size_t want = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            point = lead & (0x7F >> want);
            size_t k = 1;
            for (; k < want && i + k < text.size() && (byte(k) & 0xC0) == 0x80; ++k)
                point = point << 6 | (byte(k) & 0x3F);
            const bool shortest = want == 2 || (want == 3 && point >= 0x800) ||
                                  (want == 4 && point >= 0x10000 && point <= 0x10FFFF);
            const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
            if (k == want && shortest && !surrogate)
                length = want;
        }
        const bool control = point < 0x20 || (point >= 0x7F && point <= 0x9F);
        const bool direction =
            (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
        const std::string_view piece = length == 0 || control || direction
                                           ? std::string_view(kReplacement)
                                           : text.substr(i, length);
        if (clean.size() + piece.size() > maxBytes) {
            clean += "\xE2\x80\xA6"; // …
            break;
        }
        clean += piece;
        i += length == 0 ? 1 : length;
    }
    return clean;
}

std::string FormatRequest(const TRequest& request) {
    std::string line = std::to_string(request.Number) + ' ' + request.Call;
    for (int64_t number : request.Numbers)
        line += ' ' + std::to_string(number);
    const TCallShape* shape = ShapeOf(request.Call);
    if (shape != nullptr && shape->Text)
        line += ' ' + Escape(request.Text);
    return line;
}

std::optional<TRequest> ParseRequest(std::string_view line) {
    if (line.size() > kMaxLine)
        return std::nullopt;
    TRequest request;
    if (!ParseNumber(TakeField(line), request.Number))
        return std::nullopt;
    const TCallShape* shape = ShapeOf(TakeField(line));
    if (shape == nullptr)
        return std::nullopt;
    request.Call = std::string(shape->Name);
    for (size_t i = 0; i < shape->Numbers; ++i) {
        int64_t number = 0;
        if (!ParseNumber(TakeField(line), number))
            return std::nullopt;
        request.Numbers.push_back(number);
    }
    if (shape->Text)
        request.Text = Unescape(line);
    else if (!line.empty())
        return std::nullopt;
    return request;
}

std::string FormatAnswer(const TAnswer& answer) {
    std::string line = std::to_string(answer.Number) + ' ' + std::to_string(answer.Value) + ' ' +
                       std::to_string(answer.Error);
    if (!answer.Text.empty())
        line += ' ' + Escape(answer.Text);
    return line;
}

std::optional<TAnswer> ParseAnswer(std::string_view line) {
    if (line.size() > kMaxLine)
        return std::nullopt;
    TAnswer answer;
    if (!ParseNumber(TakeField(line), answer.Number) ||
        !ParseNumber(TakeField(line), answer.Value) || !ParseNumber(TakeField(line), answer.Error))
        return std::nullopt;
    answer.Text = Unescape(line);
    return answer;
}

} // namespace Bridge
