#include "external/WinText.h"

#include <climits>
#include <windows.h>

std::string Narrow(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX / 4)
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string narrow(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), size, nullptr,
                          nullptr);
    return narrow;
}

std::wstring Widen(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(size_t(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::optional<std::wstring> WidenExact(std::string_view text) {
    if (text.find('\0') != std::string_view::npos || text.size() > INT_MAX)
        return std::nullopt;
    if (text.empty())
        return std::wstring();
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           int(text.size()), nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::wstring wide(size_t(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), wide.data(),
                          size);
    return wide;
}

std::string SystemErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? Narrow(std::wstring_view(buffer, length)) : std::string();
    if (buffer != nullptr)
        ::LocalFree(buffer);
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return (text.empty() ? std::string("system error") : text) + " (error " +
           std::to_string(error) + ")";
}
