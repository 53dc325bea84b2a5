#include "tools/transfer-win/StandInTarget.h"

#include "external/WinText.h"
#include "tools/transfer-win/WinePaths.h"

#include <algorithm>
#include <vector>
#include <windows.h>

namespace {

constexpr size_t kMaxCandidates = 256;
constexpr DWORD kMaxTargetFile = 128;

bool IsPortName(const std::wstring& name) {
    return !name.empty() && name.size() <= 64 && name != L"." && name != L".." &&
           std::all_of(name.begin(), name.end(), [](wchar_t c) {
               return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                      (c >= L'0' && c <= L'9') || c == L'.' || c == L'_' || c == L'-';
           });
}

// The first "*.tcp" of the folder in plain character order, as the Linux side orders ports.
std::optional<std::wstring> FirstTargetFile(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*.tcp").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<std::wstring> names;
    do {
        const std::wstring name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, L".tcp") == 0 &&
            IsPortName(name.substr(0, name.size() - 4)))
            names.push_back(name);
    } while (names.size() < kMaxCandidates && ::FindNextFileW(search, &entry));
    ::FindClose(search);
    if (names.empty())
        return std::nullopt;
    return *std::min_element(names.begin(), names.end());
}

// "<tcp port> <secret>" and an optional line feed, nothing else.
bool ParseTarget(const std::string& text, TTransferTarget& target) {
    std::string body = text;
    if (!body.empty() && body.back() == '\n')
        body.pop_back();
    const size_t space = body.find(' ');
    if (space == std::string::npos || space == 0 || space > 5)
        return false;
    unsigned long port = 0;
    for (size_t i = 0; i < space; ++i) {
        if (body[i] < '0' || body[i] > '9')
            return false;
        port = port * 10 + unsigned(body[i] - '0');
    }
    const std::string secret = body.substr(space + 1);
    const bool hex = std::all_of(secret.begin(), secret.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
    if (port == 0 || port > 65535 || secret.size() != 32 || !hex)
        return false;
    target.Port = uint16_t(port);
    target.Secret = secret;
    return true;
}

} // namespace

TTransferTarget FindTransferTarget() {
    TTransferTarget target;
    const std::optional<std::wstring> folder = PortsFolder();
    if (!folder) {
        target.Problem = "no ports folder: neither XDG_RUNTIME_DIR nor the user id is known";
        return target;
    }
    std::wstring file;
    if (const std::optional<std::wstring> port = EnvironmentValue(L"VELL_STANDIN_PORT")) {
        if (!IsPortName(*port)) {
            target.Problem = "VELL_STANDIN_PORT is not a port name";
            return target;
        }
        file = *port + L".tcp";
    } else if (const std::optional<std::wstring> first = FirstTargetFile(*folder)) {
        file = *first;
    } else {
        target.Problem = "no receiver simulator listens (no *.tcp in " + Narrow(*folder) + ")";
        return target;
    }

    const std::wstring path = *folder + L"\\" + file;
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        target.Problem = "cannot read " + Narrow(path);
        return target;
    }
    char buffer[kMaxTargetFile + 1];
    DWORD count = 0;
    const bool read = ::ReadFile(handle, buffer, sizeof buffer, &count, nullptr) != FALSE;
    ::CloseHandle(handle);
    if (!read || count > kMaxTargetFile || !ParseTarget(std::string(buffer, count), target)) {
        target = {};
        target.Problem = Narrow(path) + " does not hold \"<port> <secret>\"";
    }
    return target;
}
