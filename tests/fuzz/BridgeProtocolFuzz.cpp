// Any line as a window bridge request and as an answer: what parses formats back to a line
// that parses to the same, escaping round-trips any text, and a cleaned text is valid UTF-8
// without control characters and no longer than its bound.

#include "external/BridgeProtocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Valid UTF-8 with no C0 or C1 control character.
bool CleanUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = uint8_t(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (lead < 0x20 || lead == 0x7F || (lead >= 0x80 && lead < 0xC2) || lead > 0xF4 ||
            i + length > text.size())
            return false;
        uint32_t point = lead & (0x7F >> (length == 1 ? 0 : length));
        for (size_t k = 1; k < length; ++k) {
            if ((uint8_t(text[i + k]) & 0xC0) != 0x80)
                return false;
            point = point << 6 | (uint8_t(text[i + k]) & 0x3F);
        }
        if ((point >= 0x80 && point <= 0x9F) || (point >= 0xD800 && point <= 0xDFFF) ||
            point > 0x10FFFF || (length == 3 && point < 0x800) || (length == 4 && point < 0x10000))
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    if (const auto request = Bridge::ParseRequest(line)) {
        const std::string again = Bridge::FormatRequest(*request);
        Check(again.find_first_of("\r\n") == std::string::npos);
        const auto reparsed = Bridge::ParseRequest(again);
        Check(reparsed && reparsed->Number == request->Number && reparsed->Call == request->Call &&
              reparsed->Numbers == request->Numbers && reparsed->Text == request->Text);
        Check(Bridge::NumberOf(line) == request->Number);
    }
    if (const auto answer = Bridge::ParseAnswer(line)) {
        const auto reparsed = Bridge::ParseAnswer(Bridge::FormatAnswer(*answer));
        Check(reparsed && reparsed->Number == answer->Number && reparsed->Value == answer->Value &&
              reparsed->Error == answer->Error && reparsed->Text == answer->Text);
    }
    const std::string escaped = Bridge::Escape(line);
    Check(escaped.find_first_of("\r\n") == std::string::npos);
    Check(Bridge::Unescape(escaped) == line);
    Check(Bridge::Unescape(line).size() <= line.size());

    const size_t bound = size > 0 ? data[0] : 0;
    for (const std::string& text : {Bridge::CleanText(line), Bridge::CleanText(line, bound)}) {
        Check(CleanUtf8(text));
        Check(text.size() <= std::max(bound, Bridge::kMaxCleanText) + 3);
    }
    const std::string once = Bridge::CleanText(line);
    Check(once.size() > Bridge::kMaxCleanText || Bridge::CleanText(once) == once);
    return 0;
}
