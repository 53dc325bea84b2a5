// The Windows form of writing a file the user named. The name is UTF-8. A device name ("NUL",
// "COM1", "\\.\pipe\x") is refused before anything is opened, so no port or pipe learns of it;
// a link or junction (a reparse point), a folder or a device is refused by its attributes and
// again by what was opened, which never follows a reparse point.

#include "external/WinText.h"
#include "system/UserFileWrite.h"

// clang-format off
#include <windows.h>
#include <aclapi.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

namespace {

// Closes a handle when the scope ends.
struct THandle {
    HANDLE handle;
    explicit THandle(HANDLE opened) : handle(opened) {}
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    ~THandle() { Close(); }
    void Close() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
};

std::string LastErrorText() {
    return SystemErrorText(GetLastError());
}

// The reason a file with these attributes is refused; empty for a plain, writable file.
std::string Refusal(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return "it is a link";
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return "it is not a regular file";
    // Said at once, and for an administrator too, whom a Wine prefix's files would not stop.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return "it is read-only";
    return {};
}

bool StartsWith(const std::wstring& text, const wchar_t* start) {
    return text.rfind(start, 0) == 0;
}

// Whether the system takes the name for a device: the reserved names ("NUL", "COM1", also
// "C:\logs\NUL" on older Windows) become "\\.\NAME" when made full, and a "\\?\" name reaches
// the device namespace unless a drive or a share follows.
bool NamesDevice(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    full.resize(length < full.size() ? length : 0);
    if (StartsWith(full, L"\\\\.\\"))
        return true;
    if (!StartsWith(full, L"\\\\?\\"))
        return false;
    const std::wstring rest = full.substr(4);
    const bool drive = rest.size() >= 3 && rest[1] == L':' && rest[2] == L'\\';
    return !drive && !StartsWith(rest, L"UNC\\");
}

// The SIDs of a token's information class (TokenUser or TokenOwner); empty when unreadable.
std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetTokenInformation(token, kind, data.data(), size, &size))
        data.clear();
    return data;
}

// Whether the opened file belongs to this process's user. A file system that keeps no owners
// (FAT) or an owner that cannot be read passes: opening the file for writing has shown that
// the user may write it. The token's default owner counts too: what an administrator creates
// belongs to the Administrators group, not to the user.
bool OwnedByUser(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    bool owned = true;
    HANDLE token = nullptr;
    if (owner != nullptr && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        const std::vector<BYTE> user = TokenInformation(token, TokenUser);
        const std::vector<BYTE> preset = TokenInformation(token, TokenOwner);
        CloseHandle(token);
        if (!user.empty()) {
            const PSID userSid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
            const PSID presetSid = preset.empty()
                                       ? nullptr
                                       : reinterpret_cast<const TOKEN_OWNER*>(preset.data())->Owner;
            owned =
                EqualSid(owner, userSid) || (presetSid != nullptr && EqualSid(owner, presetSid));
        }
    }
    LocalFree(descriptor);
    return owned;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// What the name holds now, not following a reparse point; false when nothing can be opened.
bool Identify(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    const THandle file{
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    return file.handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file.handle, &info);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// A new file beside `path`, under a name no one holds.
HANDLE CreateBeside(const std::wstring& path, std::wstring& temporary) {
    static std::atomic<unsigned> next{0};
    const size_t cut = path.find_last_of(L"\\/:");
    const std::wstring folder = cut == std::wstring::npos ? L"" : path.substr(0, cut + 1);
    const std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + L"." + name + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                    std::to_wstring(next++) + L".part";
        const HANDLE file =
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

} // namespace

bool WriteUserFile(const std::string& path, const std::string& bytes, std::string& why) {
    const std::optional<std::wstring> name = WidenExact(path);
    if (!name || name->empty()) {
        why = "the name is not a file name";
        return false;
    }
    if (NamesDevice(*name)) {
        why = "it is not a regular file";
        return false;
    }
    // Looked at before it is opened: a reparse point is never followed, a folder never opened.
    const DWORD attributes = GetFileAttributesW(name->c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        why = LastErrorText();
        return false;
    }
    if (exists && (why = Refusal(attributes), !why.empty()))
        return false;

    // Opening for writing proves the user may write the file; a
    // new one is made so that no one else's can take the name meanwhile. What was opened is
    // judged again: the name may have changed since its attributes were read.
    THandle target{CreateFileW(name->c_str(), GENERIC_WRITE | READ_CONTROL | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               exists ? OPEN_EXISTING : CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (target.handle == INVALID_HANDLE_VALUE) {
        why = LastErrorText();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION opened{};
    if (GetFileType(target.handle) != FILE_TYPE_DISK) {
        why = "it is not a regular file";
    } else if (!GetFileInformationByHandle(target.handle, &opened)) {
        why = LastErrorText();
    } else if (why = Refusal(opened.dwFileAttributes);
               why.empty() && exists && !OwnedByUser(target.handle)) {
        why = "it belongs to another user";
    }
    // The file cannot be replaced while it is open here.
    target.Close();
    bool written = why.empty();

    std::wstring temporary;
    if (written) {
        THandle beside{CreateBeside(*name, temporary)};
        if (beside.handle == INVALID_HANDLE_VALUE) {
            temporary.clear();
            why = LastErrorText();
            written = false;
        } else if (!WriteAll(beside.handle, bytes) || !FlushFileBuffers(beside.handle)) {
            why = LastErrorText();
            written = false;
        }
    }
    // An existing target keeps what it shows in the shell; its permissions come from the
    // folder, as for any file saved there anew.
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (written && exists && (opened.dwFileAttributes & kept) != 0)
        SetFileAttributesW(temporary.c_str(), opened.dwFileAttributes & kept);
    // The name must still hold the file that passed the checks when it is replaced.
    BY_HANDLE_FILE_INFORMATION now{};
    if (written && (!Identify(*name, now) || !SameFile(now, opened) ||
                    !Refusal(now.dwFileAttributes).empty())) {
        why = "it was replaced while the log was written";
        written = false;
    }
    if (written && !MoveFileExW(temporary.c_str(), name->c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        why = LastErrorText();
        written = false;
    }
    if (!written) {
        if (!temporary.empty())
            DeleteFileW(temporary.c_str());
        // A file made here and left empty goes again.
        if (!exists && opened.nNumberOfLinks != 0 && Identify(*name, now) && SameFile(now, opened))
            DeleteFileW(name->c_str());
    }
    return written;
}
