#include "serial/EnumComPorts.h"

#include "serial/platform/PortPaths.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <locale>
#include <stdexcept>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Every directory entry of folder; none when it is missing or unreadable. The port list is a
// convenience for the user, who can still type a name, so a folder that cannot be read is
// treated as empty rather than as a failure.
std::vector<fs::directory_entry> Entries(const std::string& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    return entries;
}

// The kernel makes a tty class entry for every terminal it could have (consoles, virtual
// terminals, pseudo-terminals, a fixed number of 8250 slots); only those a driver has bound to
// a device are ports. The 8250 driver binds all its slots, so a slot with no UART behind it is
// told apart by its port type, 0 (PORT_UNKNOWN). Entries without a type file (USB adapters,
// for one) are ports as soon as they have a driver.
bool IsDriverPort(const fs::path& entry) {
    std::error_code ec;
    if (!fs::exists(entry / "device" / "driver", ec))
        return false;
    std::ifstream typeFile(entry / "type");
    long type = -1;
    if (typeFile && typeFile >> type && type == 0)
        return false;
    return true;
}

// A virtual port is a link whose target (the pseudo-terminal a program published) still
// exists; a dangling link is what a program that ended without cleaning up leaves behind.
bool IsLiveVirtualPort(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_symlink(ec) && fs::exists(entry.path(), ec);
}

// The length of the UTF-8 sequence a byte starts; 0 for a byte that cannot start one.
size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// Decodes UTF-8 into characters folded to lower case as the user's locale folds them. A byte
// that is not part of valid UTF-8 becomes a character of its own (U+DC80..U+DCFF, which no
// valid text contains), so every name still has a fixed place in the order.
std::wstring Folded(const std::string& name, const std::ctype<wchar_t>& ctype) {
    static_assert(sizeof(wchar_t) >= 4, "a wchar_t holds any character");
    std::wstring folded;
    folded.reserve(name.size());
    size_t i = 0;
    while (i < name.size()) {
        const auto lead = static_cast<unsigned char>(name[i]);
        size_t length = SequenceLength(lead);
        if (i + length > name.size())
            length = 0;
        static constexpr unsigned char leadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t code = lead & leadBits[length];
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            if ((next & 0xC0) != 0x80) {
                length = 0;
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (length == 0) {
            folded.push_back(wchar_t(0xDC00 + lead));
            ++i;
        } else {
            folded.push_back(ctype.tolower(wchar_t(code)));
            i += length;
        }
    }
    return folded;
}

std::locale UserLocale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic(); // the environment names a locale this system lacks
    }
}

// Case-insensitive, letters folded as the user's locale folds them, then compared character by
// character: "COM10" comes before "COM2", as in the desktop's lists. Names equal but for case
// are all kept, in byte order, so the list does not depend on the order the folders were read.
void SortPortNames(std::vector<std::string>& names) {
    const std::locale locale = UserLocale();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(locale);
    std::vector<std::pair<std::wstring, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names)
        keyed.emplace_back(Folded(name, ctype), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& [key, name] : keyed)
        names.push_back(std::move(name));
}

} // namespace

void EnumComPortsFrom(const std::string& sysClassTty, const std::string& virtualFolder,
                      std::vector<std::string>& Ports) {
    Ports.clear();
    for (const fs::directory_entry& entry : Entries(sysClassTty))
        if (IsDriverPort(entry.path()))
            Ports.push_back(entry.path().filename().string());
    for (const fs::directory_entry& entry :
         virtualFolder.empty() ? std::vector<fs::directory_entry>() : Entries(virtualFolder))
        if (IsLiveVirtualPort(entry))
            Ports.push_back(entry.path().filename().string());
    SortPortNames(Ports);
}

void EnumComPorts(std::vector<std::string>& Ports) {
    // A ports folder another user could have filled lists nothing (empty: no folder at all).
    EnumComPortsFrom("/sys/class/tty", Platform::TrustedPortsFolder(false), Ports);
}
