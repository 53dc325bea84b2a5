// The Windows form of the port list: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, one per
// serial device the system has, each holding the port's name.

#include "serial/EnumComPorts.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <algorithm>
#include <stdexcept>
#include <windows.h>

namespace {

// Bounds: a value name has at most 16383 characters; a port name is short, so a longer text is
// not one; a machine has far fewer ports than MaxValues.
constexpr DWORD MaxNameChars = 16384;
constexpr DWORD MaxDataBytes = 64 * 1024;
constexpr DWORD MaxValues = 4096;

class TKey {
public:
    TKey(HKEY root, const std::wstring& subKey) {
        if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~TKey() {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    TKey(const TKey&) = delete;
    TKey& operator=(const TKey&) = delete;
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(size_t(std::max(length, 0)), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(), length, nullptr,
                            nullptr);
    return utf8;
}

std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    std::wstring name(MaxNameChars, L'\0');
    for (DWORD index = 0; index < MaxValues; ++index) {
        DWORD length = MaxNameChars;
        const LSTATUS status =
            RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            names.emplace_back(name.data(), length);
        else if (status != ERROR_MORE_DATA)
            break; // the end, or the key went away
    }
    return names;
}

// The value's text up to its first zero character. A value gone since it was listed gives
// nothing; one that is not text fails as the settings store's reads do.
bool ReadText(HKEY key, const std::wstring& name, std::wstring& text) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw std::runtime_error("Invalid data type for '" + Utf8(name) + "'");
    if (size > MaxDataBytes)
        return false;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &read) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    data.resize(std::min<size_t>(read / sizeof(wchar_t), data.size()));
    text = data.substr(0, data.find(L'\0'));
    return true;
}

// The user's locale's case-insensitive order, as the system's own lists sort.
bool Before(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                          int(b.size())) == CSTR_LESS_THAN;
}

} // namespace

void EnumComPortsFromKey(void* root, const std::wstring& subKey, std::vector<std::string>& Ports) {
    Ports.clear();
    const TKey key(static_cast<HKEY>(root), subKey);
    if (key.Get() == nullptr)
        return;
    std::vector<std::wstring> names;
    for (const std::wstring& valueName : ValueNames(key.Get())) {
        std::wstring port;
        if (ReadText(key.Get(), valueName, port))
            names.push_back(std::move(port));
    }
    std::stable_sort(names.begin(), names.end(), Before);
    for (const std::wstring& name : names)
        Ports.push_back(Utf8(name));
}

void EnumComPorts(std::vector<std::string>& Ports) {
    EnumComPortsFromKey(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", Ports);
}
