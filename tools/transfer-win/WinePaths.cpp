#include "tools/transfer-win/WinePaths.h"

#include <algorithm>
#include <string>
#include <windows.h>

namespace {

// The first number of the "Uid:" line (the real user id), from a bounded read.
std::optional<unsigned long> UnixUserId() {
    const HANDLE file = ::CreateFileW(L"Z:\\proc\\self\\status", GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string status;
    char buffer[4096];
    DWORD count = 0;
    while (status.size() < 64 * 1024 && ::ReadFile(file, buffer, sizeof buffer, &count, nullptr) &&
           count > 0)
        status.append(buffer, count);
    ::CloseHandle(file);
    const size_t line = status.find("\nUid:");
    if (line == std::string::npos)
        return std::nullopt;
    size_t at = status.find_first_not_of(" \t", line + 5);
    if (at == std::string::npos || status[at] < '0' || status[at] > '9')
        return std::nullopt;
    unsigned long id = 0;
    for (; at < status.size() && status[at] >= '0' && status[at] <= '9' && id < 0x7FFFFFFF; ++at)
        id = id * 10 + unsigned(status[at] - '0');
    return id;
}

} // namespace

std::wstring WindowsPathOf(const std::wstring& path) {
    if (path.empty() || path[0] != L'/')
        return path;
    std::wstring windows = L"Z:" + path;
    std::replace(windows.begin(), windows.end(), L'/', L'\\');
    return windows;
}

std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, DWORD(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return std::nullopt; // unset, empty, or too long to be a path of ours
    return std::wstring(buffer, length);
}

std::optional<std::wstring> PortsFolder() {
    if (const std::optional<std::wstring> runtime = EnvironmentValue(L"XDG_RUNTIME_DIR"))
        return WindowsPathOf(*runtime + L"/vell-writer/ports");
    if (const std::optional<unsigned long> id = UnixUserId())
        return WindowsPathOf(L"/tmp/vell-writer-" + std::to_wstring(*id) + L"/ports");
    return std::nullopt;
}
