#include "tools/transfer-win/Record.h"

#include "tools/transfer-win/WinePaths.h"

#include <mutex>
#include <windows.h>

void Record(const std::string& line) {
    static std::mutex writing;
    static const std::optional<std::wstring> path = [] {
        const std::optional<std::wstring> value = EnvironmentValue(L"VELL_STANDIN_RECORD");
        return value ? std::optional<std::wstring>(WindowsPathOf(*value)) : std::nullopt;
    }();
    if (!path)
        return;
    const std::lock_guard<std::mutex> lock(writing);
    // Opened for each line, so a reader sees it as soon as the event has happened.
    const HANDLE file =
        ::CreateFileW(path->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + '\n';
    DWORD written = 0;
    ::WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    ::CloseHandle(file);
}
