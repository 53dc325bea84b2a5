// window-bridge: the transfer program's window calls for a program that cannot make them
// itself, the Linux program under Wine. Requests come one a line on standard input, each is
// carried out at once and answered with one line on standard output (external/BridgeProtocol.h);
// the bridge ends at the end of its input.

#include "external/BridgeProtocol.h"
#include "external/Win32Windows.h"
#include "tools/window-bridge/BridgeCalls.h"

#include <string>
#include <windows.h>

namespace {

bool WriteAll(HANDLE output, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        DWORD count = 0;
        if (!::WriteFile(output, text.data() + written, DWORD(text.size() - written), &count,
                         nullptr) ||
            count == 0)
            return false;
        written += count;
    }
    return true;
}

} // namespace

int main() {
    // A failure in here must end this program, not wait for someone to click a box away.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    TWin32Windows windows;

    std::string line;
    bool overlong = false; // the rest of a line past the limit is dropped, the line refused
    const auto answer = [&]() {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string reply = overlong
                                      ? Bridge::FormatAnswer({0, 87, {}, Bridge::NumberOf(line)})
                                      : AnswerRequest(windows, line);
        line.clear();
        overlong = false;
        return WriteAll(output, reply + '\n');
    };

    char buffer[4096];
    for (;;) {
        DWORD count = 0;
        if (!::ReadFile(input, buffer, sizeof buffer, &count, nullptr) || count == 0)
            break;
        for (DWORD i = 0; i < count; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                if (!answer())
                    return 1; // nobody reads the answers any more
            } else if (line.size() >= Bridge::kMaxLine) {
                overlong = true;
            } else if (!overlong) {
                line.push_back(c);
            }
        }
    }
    // A last request without its line feed is still answered.
    if ((!line.empty() || overlong) && !answer())
        return 1;
    return 0;
}
