#include "system/RegistryStore.h"

#include "external/WinText.h"

#include <vector>
#include <windows.h>

namespace {

ERegistryException Failure(const char* what, const std::string& name) {
    return ERegistryException(std::string(what) + " '" + name + "'");
}

// The value's type and size in bytes; false when it cannot be read.
bool Describe(HKEY key, const std::wstring& name, DWORD& type, DWORD& size) {
    size = 0;
    return key != nullptr &&
           ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

} // namespace

TRegistryStore::TRegistryStore() : TRegistryStore(HKEY_CURRENT_USER) {}

TRegistryStore::TRegistryStore(HKEY root) : m_root(root) {}

TRegistryStore::~TRegistryStore() {
    CloseKey();
}

bool TRegistryStore::OpenKey(const std::string& key, bool create) {
    CloseKey();
    const std::wstring path = Widen(key);
    const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE;
    HKEY opened = nullptr;
    const LONG result =
        create ? ::RegCreateKeyExW(m_root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   access, nullptr, &opened, nullptr)
               : ::RegOpenKeyExW(m_root, path.c_str(), 0, access, &opened);
    if (result != ERROR_SUCCESS)
        return false;
    m_key = opened;
    return true;
}

void TRegistryStore::CloseKey() {
    if (m_key != nullptr)
        ::RegCloseKey(m_key);
    m_key = nullptr;
}

bool TRegistryStore::ValueExists(const std::string& name) const {
    DWORD type = 0, size = 0;
    return Describe(m_key, Widen(name), type, size);
}

int32_t TRegistryStore::ReadInteger(const std::string& name) const {
    const std::wstring wide = Widen(name);
    DWORD type = 0, size = 0;
    if (!Describe(m_key, wide, type, size))
        throw Failure("Failed to get data for", name);
    if (type != REG_DWORD || size != sizeof(DWORD))
        throw Failure("Invalid data type for", name);
    DWORD value = 0;
    size = sizeof value;
    // The type is asked again with the data: the value may have changed in between.
    if (::RegQueryValueExW(m_key, wide.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS)
        throw Failure("Failed to get data for", name);
    if (type != REG_DWORD || size != sizeof value)
        throw Failure("Invalid data type for", name);
    return int32_t(value);
}

void TRegistryStore::WriteInteger(const std::string& name, int32_t value) {
    const DWORD data = DWORD(value);
    if (m_key == nullptr ||
        ::RegSetValueExW(m_key, Widen(name).c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&data), sizeof data) != ERROR_SUCCESS)
        throw Failure("Failed to set data for", name);
}

std::string TRegistryStore::ReadString(const std::string& name) const {
    const std::wstring wide = Widen(name);
    DWORD type = 0, size = 0;
    if (!Describe(m_key, wide, type, size))
        throw Failure("Failed to get data for", name);
    if (type != REG_SZ)
        throw Failure("Invalid data type for", name);
    // One unit more than the longest text: room for its NUL, which the data need not carry.
    if (size > LongestText * sizeof(wchar_t) + sizeof(wchar_t))
        throw Failure("Failed to get data for", name);
    std::vector<wchar_t> text(LongestText + 2, L'\0');
    size = DWORD((text.size() - 1) * sizeof(wchar_t));
    // Grown since it was described: more than the buffer is refused here, not overrun.
    if (::RegQueryValueExW(m_key, wide.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        throw Failure("Failed to get data for", name);
    if (type != REG_SZ)
        throw Failure("Invalid data type for", name);
    // Up to the first NUL, within the bytes read: the last unit of the buffer is always NUL.
    const size_t units = size / sizeof(wchar_t);
    if (units > LongestText + 1)
        throw Failure("Failed to get data for", name);
    size_t length = 0;
    while (length < units && text[length] != L'\0')
        ++length;
    if (length > LongestText)
        throw Failure("Failed to get data for", name);
    return Narrow(std::wstring_view(text.data(), length));
}

void TRegistryStore::WriteString(const std::string& name, const std::string& value) {
    const std::wstring text = Widen(value);
    if (m_key == nullptr || text.size() > LongestText ||
        ::RegSetValueExW(m_key, Widen(name).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(text.c_str()),
                         DWORD((text.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        throw Failure("Failed to set data for", name);
}
