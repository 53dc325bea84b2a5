// Any text as a Wine prefix's registry file: the values found do not depend on how the text
// is cut into pieces, none is longer than a line may be, and the scan ends at the text's end.

#include "external/WineRegistryText.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

const std::vector<TWineRegWanted> kWanted = {
    {"Software\\Wine\\Ports", "LPT1"},
    {"Software\\Wine\\Ports", ""},
    {"Software\\Wine", "Version"},
    {"Software\\Wine\\AppDefaults\\Vell_par.exe", "Version"},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TWineRegScan whole = ScanWineRegistry(text, kWanted);
    Check(whole.Done());
    // The same text in pieces of 1 to 16 bytes, as the input's own bytes choose.
    TWineRegScan pieces(kWanted);
    for (size_t at = 0; at < size;) {
        const size_t length = std::min<size_t>(size - at, 1 + (data[at] & 15));
        if (!pieces.Feed(text.substr(at, length)))
            break;
        at += length;
    }
    pieces.End();
    for (size_t i = 0; i < kWanted.size(); ++i) {
        const auto& a = whole.Found(i);
        const auto& b = pieces.Found(i);
        Check(a.has_value() == b.has_value());
        if (!a)
            continue;
        Check(a->Kind == b->Kind && a->Data == b->Data);
        Check(a->Data.size() <= kWineRegMaxLine);
    }
    return 0;
}
