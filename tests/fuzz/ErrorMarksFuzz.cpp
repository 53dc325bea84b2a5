// Bytes from a line with error marking on, cut into reads anywhere: taking the marks out
// never grows the data, never reads or writes past a read, and gives the same bytes and the
// same errors however the reads are cut.

#include "serial/platform/LineSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Platform;

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

struct TResult {
    std::string bytes;
    DWORD errors = 0;
};

// One read as the device makes it: one byte of room to spare while a mark is pending.
std::string Read(TErrorMarkFilter& filter, const std::string& bytes) {
    std::vector<char> buffer(bytes.begin(), bytes.end());
    const size_t capacity = buffer.size() + (filter.HoldsMark() ? 1 : 0);
    buffer.resize(capacity);
    const size_t kept = filter.Filter(buffer.data(), bytes.size(), capacity);
    Check(kept <= capacity);
    return std::string(buffer.data(), kept);
}

TResult Filter(const std::string& input, const std::vector<size_t>& cuts, bool replace) {
    TErrorMarkFilter filter;
    filter.SetReplacement(replace, '?');
    TResult result;
    size_t start = 0;
    for (size_t cut : cuts) {
        cut = std::min(cut, input.size());
        if (cut < start)
            continue;
        result.bytes += Read(filter, input.substr(start, cut - start));
        start = cut;
    }
    result.bytes += Read(filter, input.substr(start));
    result.errors = filter.TakeErrors();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first bytes choose where the reads are cut; the rest is what the line delivered.
    const size_t cutCount = data[0] % 8;
    const bool replace = data[1] & 1;
    if (size < 2 + cutCount)
        return 0;
    std::vector<size_t> cuts;
    for (size_t i = 0; i < cutCount; ++i)
        cuts.push_back(size_t(data[2 + i]));
    const std::string input(reinterpret_cast<const char*>(data + 2 + cutCount),
                            size - 2 - cutCount);

    const TResult whole = Filter(input, {}, replace);
    const TResult cut = Filter(input, cuts, replace);
    Check(whole.bytes.size() <= input.size());
    // However the reads cut the data, the same bytes and errors come out.
    Check(cut.bytes == whole.bytes);
    Check(cut.errors == whole.errors);
    return 0;
}
