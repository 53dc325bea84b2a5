#include "system/WinImageFiles.h"

#include "external/WinText.h"

#include <algorithm>
#include <optional>
#include <windows.h>

namespace {

// FILETIME counts 100 ns from 1601; the stamp counts nanoseconds from 1970.
constexpr int64_t From1601To1970 = 116444736000000000;

// Whether a name begins with a prefix, case ignored as the file system ignores it: by the
// system's uppercase table, not a language's (CompareStringOrdinal, which Windows XP lacks).
bool BeginsIgnoringCase(const std::wstring& name, const std::wstring& prefix) {
    if (name.size() < prefix.size())
        return false;
    std::wstring head(prefix.size(), L'\0'), wanted(prefix.size(), L'\0');
    const int count = int(prefix.size());
    return ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.c_str(), count, head.data(),
                          count) == count &&
           ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, prefix.c_str(), count, wanted.data(),
                          count) == count &&
           head == wanted;
}

// A name the system takes for a device rather than a file (COM1, NUL, C:\any\COM1,
// \\.\pipe\name): refused as it is, before any open, since opening a port acts on its lines.
// None for a name of the file system.
std::optional<TNotAFile> DeviceName(const std::wstring& path) {
    const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return std::nullopt; // the open says why
    std::wstring full(length, L'\0');
    const DWORD got = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    if (got == 0 || got >= length)
        return std::nullopt;
    full.resize(got);
    const std::wstring_view devices = L"\\\\.\\";
    if (full.compare(0, devices.size(), devices) != 0)
        return std::nullopt;
    const std::wstring rest = full.substr(devices.size());
    if (BeginsIgnoringCase(rest, L"pipe\\"))
        return TNotAFile::Pipe;
    // \\.\C:\folder\file is a file by its drive; \\.\C: alone is the volume itself.
    const bool onDrive =
        rest.size() > 2 && rest[1] == L':' && (rest[2] == L'\\' || rest[2] == L'/');
    return onDrive ? std::nullopt : std::optional(TNotAFile::Device);
}

TImageMeasure Refused(std::string problem) {
    TImageMeasure measure;
    measure.problem = std::move(problem);
    return measure;
}

TImageMeasure SystemRefusal() {
    return Refused(SystemErrorText(::GetLastError()));
}

} // namespace

const TImageFiles& SystemImageFiles() {
    static const TWinImageFiles files;
    return files;
}

TImageMeasure TWinImageFiles::Measure(const std::string& path) const {
    const std::optional<std::wstring> wide = WidenExact(path);
    if (!wide || wide->empty())
        return Refused(SystemErrorText(ERROR_INVALID_NAME));
    if (const std::optional<TNotAFile> device = DeviceName(*wide))
        return Refused(NotAFileProblem(*device));
    // Looked at before it is opened: a folder cannot be opened as a file, and would only say
    // "access denied".
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!::GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &attributes))
        return SystemRefusal();
    if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Refused(NotAFileProblem(TNotAFile::Folder));

    const HANDLE file = ::CreateFileW(wide->c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return SystemRefusal();
    TImageMeasure measure;
    // Whatever the name looked like, only a file on a disk is an image.
    const DWORD type = ::GetFileType(file);
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (type != FILE_TYPE_DISK) {
        measure.problem = NotAFileProblem(type == FILE_TYPE_PIPE   ? TNotAFile::Pipe
                                          : type == FILE_TYPE_CHAR ? TNotAFile::Device
                                                                   : TNotAFile::Other);
    } else if (!::GetFileInformationByHandle(file, &info) || !::GetFileSizeEx(file, &size)) {
        measure.problem = SystemErrorText(::GetLastError());
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        measure.problem = NotAFileProblem(TNotAFile::Folder);
    } else {
        const int64_t written = int64_t(uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                        info.ftLastWriteTime.dwLowDateTime);
        measure.stamp = {info.dwVolumeSerialNumber,
                         uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow,
                         int64_t(size.QuadPart), (written - From1601To1970) * 100};
    }
    ::CloseHandle(file);
    return measure;
}
