#include "external/WineRouteCheck.h"

#include "external/WineRegistryText.h"
#include "system/PeImage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <span>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// A registry file is read up to this many bytes; a prefix's system.reg is a few MB.
constexpr size_t kRegMaxBytes = size_t(64) << 20;
constexpr size_t kShownMaxBytes = 200;
// The kernel's parallel port devices, /dev/parport*, which refuse writes from a program that
// has not claimed the port.
constexpr unsigned kParportMajor = 99;

constexpr std::array kPortLibraries = {
    "inpout32", "inpoutx64", "dlportio", "winio",    "winio32",     "winio64",
    "tvicport", "tvichw32",  "ntport",   "winring0", "winring0x64", "zlportio",
};

const char kNoPortAccess[] =
    "Wine does not allow that, so the transfer cannot reach the receiver. Use Vell Writer on "
    "Windows, or a Windows machine or virtual machine that owns the parallel port.";

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
    return lower;
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

// A text from a file or a path, fit for a line a person reads: valid UTF-8 without control
// characters, and not too long.
std::string Shown(std::string_view text) {
    std::string shown;
    size_t i = 0;
    while (i < text.size() && shown.size() < kShownMaxBytes) {
        const auto c = uint8_t(text[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k)
            valid = (uint8_t(text[i + k]) & 0xc0) == 0x80;
        if (valid && length > 1) {
            // No overlong forms, surrogates or code points past U+10FFFF.
            uint32_t code = c & (0x7f >> length);
            for (size_t k = 1; k < length; ++k)
                code = code << 6 | (uint8_t(text[i + k]) & 0x3f);
            const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            valid = code >= least[length] && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
        }
        if (!valid) {
            shown += "\xef\xbf\xbd";
            ++i;
        } else if (length == 1 && (c < 0x20 || c == 0x7f)) {
            shown += '?';
            ++i;
        } else {
            shown.append(text.substr(i, length));
            i += length;
        }
    }
    if (i < text.size())
        shown += "\xe2\x80\xa6";
    return shown;
}

// A word for a shell command line.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(uint8_t(c)) || std::strchr("/._-+:,@%~", c);
    });
    if (plain)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

enum class ERead { Whole, Cut, Failed };

// Hands an open file's bytes to `take` while it wants more, up to `limit` bytes (then Cut).
template <typename Take> ERead ReadAll(int fd, size_t limit, Take take, int& error) {
    std::vector<char> buffer(size_t(64) << 10);
    size_t total = 0;
    while (total < limit) {
        const ssize_t n = ::read(fd, buffer.data(), std::min(buffer.size(), limit - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return ERead::Failed;
        }
        if (n == 0 || !take(std::string_view(buffer.data(), size_t(n))))
            return ERead::Whole;
        total += size_t(n);
    }
    return ERead::Cut;
}

// ---- the program ----

// The program's bytes: a regular file no larger than the image reader takes, or nothing.
std::optional<std::vector<uint8_t>> ProgramBytes(const std::string& path) {
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode) ||
        uint64_t(before.st_size) > kPeMaxFileBytes)
        return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat opened {};
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(before.st_size));
    const auto take = [&](std::string_view piece) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        return true;
    };
    int error = 0;
    const bool read = ::fstat(fd, &opened) == 0 && SameFile(before, opened) &&
                      ReadAll(fd, kPeMaxFileBytes + 1, take, error) == ERead::Whole;
    ::close(fd);
    if (!read)
        return std::nullopt;
    return bytes;
}

// Whether the bytes name the driver giveio, in ASCII or UTF-16LE, in any case.
bool NamesGiveio(std::span<const uint8_t> bytes) {
    static constexpr std::string_view name = "giveio";
    for (size_t step : {size_t(1), size_t(2)}) {
        const size_t span = (name.size() - 1) * step + 1;
        for (size_t at = 0; at + span <= bytes.size(); ++at) {
            bool match = true;
            for (size_t k = 0; match && k < name.size(); ++k) {
                match = Lower(char(bytes[at + k * step])) == name[k] &&
                        (step == 1 || k + 1 == name.size() || bytes[at + k * step + 1] == 0);
            }
            if (match)
                return true;
        }
    }
    return false;
}

void CheckProgram(const std::string& program, std::vector<std::string>& findings) {
    const auto bytes = ProgramBytes(program);
    if (!bytes)
        return; // the run's own start says why it cannot start the program
    const TPeRead read = ReadPeImage(*bytes);
    if (!read.Image)
        return;
    const std::string name = Shown(FileName(program));
    std::vector<std::string> named;
    for (const TPeImport& import : read.Image->Imports) {
        std::string stem = LowerText(import.Dll);
        if (stem.size() > 4 && stem.substr(stem.size() - 4) == ".dll")
            stem.resize(stem.size() - 4);
        const bool known =
            std::find(kPortLibraries.begin(), kPortLibraries.end(), stem) != kPortLibraries.end();
        if (!known || std::find(named.begin(), named.end(), stem) != named.end())
            continue;
        named.push_back(stem);
        findings.push_back(
            name + " uses " + Shown(import.Dll) +
            ", which drives the parallel port's I/O addresses directly: " + kNoPortAccess);
    }
    if (NamesGiveio(*bytes))
        findings.push_back(name +
                           " opens the driver giveio (\"\\\\.\\giveio\"), which lets a "
                           "program drive the parallel port's I/O addresses directly: " +
                           kNoPortAccess);
}

// ---- the prefix ----

// One of the prefix's registry files, scanned for what `scan` wants. "" when it was read or
// is not there (Wine has not made it yet), else why it was not read ("is a link").
std::string ScanPrefixFile(int folder, const char* name, TWineRegScan& scan) {
    struct stat before {};
    if (::fstatat(folder, name, &before, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? "" : "cannot be read (" + ErrorText(errno) + ")";
    if (S_ISLNK(before.st_mode))
        return "is a link, which Wine does not make";
    if (!S_ISREG(before.st_mode))
        return "is not a regular file";
    if (before.st_uid != ::geteuid() && before.st_uid != 0)
        return "belongs to another user (" + std::to_string(before.st_uid) + ")";
    const int fd =
        ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return "cannot be read (" + ErrorText(errno) + ")";
    struct stat opened {};
    int error = 0;
    const auto feed = [&](std::string_view piece) { return scan.Feed(piece); };
    const ERead read = ::fstat(fd, &opened) != 0 || !SameFile(before, opened)
                           ? ERead::Failed
                           : ReadAll(fd, kRegMaxBytes, feed, error);
    ::close(fd);
    if (read == ERead::Failed)
        return error ? "cannot be read (" + ErrorText(error) + ")" : "changed while it was read";
    if (read == ERead::Cut)
        return "is larger than " + std::to_string(kRegMaxBytes >> 20) +
               " MB and was not read to its end";
    scan.End();
    return "";
}

std::string PrefixFileFinding(const std::string& prefix, const char* name,
                              const std::string& problem, const char* unknown) {
    return "The Wine prefix's " + std::string(name) + " (" + Shown(prefix + "/" + name) + ") " +
           problem + ", so Vell Writer did not use it and cannot tell " + unknown +
           ". Replace the prefix with one of your own that Wine makes (move it aside and start "
           "Wine), or set WINEPREFIX to such a prefix.";
}

std::string WineCommand(const std::string& prefix, const std::string& command) {
    return "WINEPREFIX=" + ShellWord(Shown(prefix)) + " " + command;
}

std::string MapToLp0(const std::string& prefix) {
    return "map LPT1 to /dev/lp0 with \"" +
           WineCommand(prefix,
                       "wine reg add 'HKLM\\Software\\Wine\\Ports' /v LPT1 /d /dev/lp0 /f") +
           "\", then restart Wine with \"" + WineCommand(prefix, "wineserver -k") + "\"";
}

std::string FileKind(mode_t mode) {
    if (S_ISREG(mode))
        return "a regular file";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISBLK(mode))
        return "a block device";
    return "not a device";
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return Shown(found->gr_name);
    return std::to_string(gid);
}

// Where LPT1 leads, and whether this user can write there.
void CheckTarget(const std::string& prefix, const std::optional<TWineRegValue>& mapping,
                 std::vector<std::string>& findings) {
    const std::string source =
        mapping ? "as " + Shown(prefix + "/system.reg") + " maps it" : "Wine's default";
    const std::string fix = MapToLp0(prefix);
    if (mapping && mapping->Data.empty() && mapping->Kind == TWineRegValue::EKind::Text) {
        findings.push_back(
            "LPT1 is switched off in " + Shown(prefix + "/system.reg") +
            " (its mapping is empty), so the transfer program cannot open it: " + fix + ".");
        return;
    }
    std::string target = mapping ? mapping->Data : "/dev/lp0";
    target = target.substr(0, target.find('\0')); // where a Windows program's text ends
    const bool plain =
        !mapping ||
        (mapping->Kind == TWineRegValue::EKind::Text && !target.empty() && target[0] == '/') ||
        (mapping->Kind == TWineRegValue::EKind::Expandable && target.rfind('/', 0) == 0 &&
         target.find('%') == std::string::npos);
    if (!plain) {
        findings.push_back(
            "LPT1's mapping in " + Shown(prefix + "/system.reg") +
            (mapping->Kind == TWineRegValue::EKind::Other
                 ? " is not a text"
                 : " (\"" + Shown(target) + "\") is not a plain absolute path") +
            ", so Vell Writer cannot tell where Wine sends the transfer's bytes: " + fix + ".");
        return;
    }
    const std::string leads = "LPT1 leads to " + Shown(target) + " (" + source + "), which ";
    struct stat device {};
    const bool found = ::stat(target.c_str(), &device) == 0;
    const int error = errno;
    if (target.rfind("/dev/parport", 0) == 0 ||
        (found && S_ISCHR(device.st_mode) && major(device.st_rdev) == kParportMajor)) {
        findings.push_back(leads +
                           "is a parallel port device that Wine cannot write: the kernel refuses "
                           "writes until a program claims the port, and Wine does not. Load the "
                           "printer driver (\"sudo modprobe parport_pc lp\") and " +
                           fix + ".");
        return;
    }
    if (!found && (error == ENOENT || error == ENOTDIR)) {
        findings.push_back(leads +
                           "does not exist, so every write of the transfer program fails: load "
                           "the parallel port's drivers with \"sudo modprobe parport_pc lp\"" +
                           (target == "/dev/lp0" ? "." : ", or " + fix + "."));
        return;
    }
    if (!found) {
        findings.push_back(leads + "Vell Writer cannot look at (" + ErrorText(error) +
                           "), so Wine most likely cannot use it either: " + fix + ".");
        return;
    }
    if (!S_ISCHR(device.st_mode) && !S_ISFIFO(device.st_mode)) {
        findings.push_back(leads + "is " + FileKind(device.st_mode) +
                           ", not the parallel port's device, so the transfer's bytes do not "
                           "reach the receiver: " +
                           fix + ".");
        return;
    }
    if (::access(target.c_str(), W_OK) == 0)
        return;
    const std::string group = GroupName(device.st_gid);
    if (device.st_gid == 0)
        findings.push_back(leads +
                           "only its owner may write, so every write of the transfer program "
                           "fails: let a group such as lp write it (a udev rule with GROUP=\"lp\", "
                           "MODE=\"0660\"), add the user to that group with \"sudo usermod -aG lp "
                           "$USER\", then log in again.");
    else if (device.st_mode & S_IWGRP)
        findings.push_back(leads +
                           "this user may not write, so every write of the transfer "
                           "program fails: add the user to its group with \"sudo "
                           "usermod -aG " +
                           ShellWord(group) + " $USER\", then log in again.");
    else
        findings.push_back(leads + "neither this user nor its group " + group +
                           " may write, so every write of the transfer program fails: let the "
                           "group write it (a udev rule with MODE=\"0660\"), add the user to the "
                           "group with \"sudo usermod -aG " +
                           ShellWord(group) + " $USER\", then log in again.");
}

const char* OldWindows(const std::optional<TWineRegValue>& version) {
    if (!version || version->Kind == TWineRegValue::EKind::Other)
        return nullptr;
    const std::string value = LowerText(version->Data);
    if (value == "win95")
        return "Windows 95";
    if (value == "win98")
        return "Windows 98";
    if (value == "winme")
        return "Windows ME";
    return nullptr;
}

} // namespace

std::vector<std::string> WineRouteFindings(const std::string& program, const std::string& prefix) {
    std::vector<std::string> findings;
    CheckProgram(program, findings);

    const std::string fixPrefix =
        "Set WINEPREFIX to a prefix of your own, or leave it unset to use ~/.wine.";
    if (prefix.empty() || prefix[0] != '/') {
        findings.push_back("Vell Writer cannot tell which Wine prefix the transfer program runs "
                           "in (\"" +
                           Shown(prefix) + "\" is not an absolute path). " + fixPrefix);
        return findings;
    }
    struct stat before {};
    if (::stat(prefix.c_str(), &before) != 0 && errno == ENOENT) {
        // Wine makes it at its first start, with LPT1 on its default.
        CheckTarget(prefix, std::nullopt, findings);
        return findings;
    }
    const int folder = ::open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    struct stat opened {};
    if (folder < 0 || ::fstat(folder, &opened) != 0) {
        const std::string why = ErrorText(errno);
        findings.push_back("The Wine prefix " + Shown(prefix) + " cannot be read (" + why +
                           "), so Vell Writer cannot tell where Wine sends LPT1. " + fixPrefix);
        if (folder >= 0)
            ::close(folder);
        return findings;
    }
    if (opened.st_uid != ::geteuid()) {
        ::close(folder);
        findings.push_back("The Wine prefix " + Shown(prefix) +
                           " belongs to another user, and Wine starts only in a prefix of the "
                           "user's own. " +
                           fixPrefix);
        return findings;
    }

    const std::string appDefaults = "Software\\Wine\\AppDefaults\\" + FileName(program);
    TWineRegScan system({{"Software\\Wine\\Ports", "LPT1"}, {"Software\\Wine", "Version"}});
    TWineRegScan user({{appDefaults, "Version"}, {"Software\\Wine", "Version"}});
    const std::string systemProblem = ScanPrefixFile(folder, "system.reg", system);
    const std::string userProblem = ScanPrefixFile(folder, "user.reg", user);
    ::close(folder);

    if (!systemProblem.empty())
        findings.push_back(
            PrefixFileFinding(prefix, "system.reg", systemProblem, "where Wine sends LPT1"));
    else
        CheckTarget(prefix, system.Found(0), findings);
    if (!userProblem.empty()) {
        findings.push_back(PrefixFileFinding(prefix, "user.reg", userProblem,
                                             "which Windows version Wine reports"));
        return findings;
    }
    // The program's own setting comes first, then the user's, then the machine's of older
    // prefixes.
    struct {
        const std::optional<TWineRegValue>& Version;
        std::string Where;
    } const places[] = {
        {user.Found(0), "user.reg, for " + Shown(FileName(program)) + " alone"},
        {user.Found(1), "user.reg"},
        {system.Found(1), "system.reg"},
    };
    for (const auto& place : places) {
        if (!place.Version || place.Version->Kind == TWineRegValue::EKind::Other)
            continue;
        if (const char* old = OldWindows(place.Version))
            findings.push_back("The Wine prefix " + Shown(prefix) + " reports " + old + " (" +
                               place.Where +
                               "): Wine then emulates the port instructions and drops every "
                               "write: set the version to Windows XP or later in winecfg.");
        break;
    }
    return findings;
}

std::string WinePrefixFolder() {
    const char* set = std::getenv("WINEPREFIX");
    if (set && set[0] == '/')
        return set;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.wine";
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return std::string(found->pw_dir) + "/.wine";
    return "";
}
