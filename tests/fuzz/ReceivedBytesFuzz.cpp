// Any chunk the line can deliver: it is recognised only when it is a whole message, and every
// rendering has the length and the characters it promises.

#include "receiver/MessageTables.h"
#include "receiver/Rendering.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

const MessageTable& Received() {
    static const MessageTable table = [] {
        MessageTable receive, command;
        BuildMessageTables(receive, command);
        return receive;
    }();
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const int n = int(size);
    const std::string chunk(bytes, size);

    const int32_t index = MatchReceived(Received(), bytes, n);
    Check(index >= -1 && index < int32_t(Received().size()));
    if (index >= 0)
        Check(Received()[size_t(index)].Bytes == chunk);
    else
        for (const MessageEntry& entry : Received())
            Check(entry.Bytes != chunk);

    const std::string printable = PrintableText(bytes, n);
    Check(printable.size() == size);
    for (size_t i = 0; i < size; ++i) {
        const auto byte = uint8_t(data[i]);
        Check(printable[i] == ((byte < 0x10 || byte > 0xC0) ? '.' : char(byte)));
    }

    const std::string plain = PlainText(bytes, n);
    Check(plain.size() <= size);
    for (char c : plain) {
        const auto byte = uint8_t(c);
        Check(c == '\n' || (byte >= 0x20 && byte <= 0xC0));
    }

    const std::string full = RenderBytes(bytes, n, true);
    const std::string head = printable + " (" + std::to_string(n) + " bytes: ";
    Check(full.size() == head.size() + 3 * size + 1);
    Check(full.compare(0, head.size(), head) == 0 && full.back() == ')');
    Check(RenderBytes(bytes, n, false) == plain);
    return 0;
}
