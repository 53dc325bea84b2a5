// Any file as a Windows program: the PE reader reads it or refuses it with a reason, within
// the bounds it promises, and never reads outside the bytes (the sanitizers watch that).

#include "system/PeImage.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckName(const std::string& name, size_t limit, char lowest) {
    Check(!name.empty() && name.size() <= limit);
    for (char c : name)
        Check(c >= lowest && c <= '~');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TPeRead read = ReadPeImage(std::span<const uint8_t>(data, size));
    Check(read.Image.has_value() == read.Failure.empty());
    if (!read.Image)
        return 0;
    Check(read.Image->Sections.size() <= 96);
    Check(read.Image->Imports.size() <= 65536);
    for (const TPeImport& import : read.Image->Imports) {
        CheckName(import.Dll, 260, ' ');
        if (!import.Function.empty())
            CheckName(import.Function, 4096, '!');
    }
    return 0;
}
