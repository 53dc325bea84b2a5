#include "system/PeImage.h"

#include <algorithm>
#include <utility>

namespace {

// Bounds that no real program comes near: they keep a hostile file's time and memory small.
constexpr uint32_t kMaxSections = 96; // the most the system's loader takes
constexpr size_t kMaxDlls = 4096;
constexpr size_t kMaxFunctions = 65536;        // over all DLLs
constexpr size_t kMaxDllNameBytes = 260;       // a path's length on the system
constexpr size_t kMaxFunctionNameBytes = 4096; // C++ names are cut at that length
constexpr size_t kMaxAllNameBytes = size_t(4) << 20;
constexpr uint32_t kDirectoryImports = 1;
constexpr uint32_t kDirectoryDelayImports = 13;
constexpr uint32_t kMaxDirectories = 16;

struct TRefused {
    std::string Why;
};

[[noreturn]] void Refuse(std::string why) {
    throw TRefused{std::move(why)};
}

std::string Hex(uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xf]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

// Bytes of the file from an offset to the end of the data they belong to.
struct TSpan {
    uint64_t Offset = 0;
    uint64_t Size = 0;
};

class TParser {
public:
    explicit TParser(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    TPeImage Parse() {
        if (m_bytes.size() > kPeMaxFileBytes)
            Refuse("the file is larger than 64 MiB");
        Need(0, 64, "the DOS header");
        if (m_bytes[0] != 'M' || m_bytes[1] != 'Z')
            Refuse("no DOS header (MZ)");
        const uint64_t pe = U32(0x3c);
        if (pe >= m_bytes.size())
            Refuse("the PE header's offset " + Hex(pe) + " lies past the end of the file");
        Need(pe, 4, "the PE signature");
        if (U32(pe) != 0x00004550)
            Refuse("no PE signature at " + Hex(pe));
        const uint64_t coff = pe + 4;
        Need(coff, 20, "the COFF header");
        m_image.Machine = U16(coff);
        const uint32_t sections = U16(coff + 2);
        const uint64_t optionalSize = U16(coff + 16);
        if (sections > kMaxSections)
            Refuse(std::to_string(sections) + " sections, more than a loader takes");
        ReadOptionalHeader(coff + 20, optionalSize);
        ReadSections(coff + 20 + optionalSize, sections);
        ReadImports();
        ReadDelayImports();
        return std::move(m_image);
    }

private:
    void Need(uint64_t offset, uint64_t count, const std::string& what) const {
        if (offset > m_bytes.size() || count > m_bytes.size() - offset)
            Refuse("the file ends inside " + what);
    }
    uint64_t Little(uint64_t offset, int width) const {
        uint64_t value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = value << 8 | m_bytes[size_t(offset) + size_t(i)];
        return value;
    }
    // Reads within the file only: every caller has checked the bytes with Need or a span.
    uint16_t U16(uint64_t offset) const { return uint16_t(Little(offset, 2)); }
    uint32_t U32(uint64_t offset) const { return uint32_t(Little(offset, 4)); }

    void ReadOptionalHeader(uint64_t at, uint64_t size) {
        Need(at, 2, "the optional header");
        const uint16_t magic = U16(at);
        if (magic != 0x10b && magic != 0x20b)
            Refuse("unknown optional header kind " + Hex(magic));
        m_image.Pe32Plus = magic == 0x20b;
        // Up to the data directories, whose count is the fixed part's last field.
        const uint64_t fixed = m_image.Pe32Plus ? 112 : 96;
        if (size < fixed)
            Refuse("the optional header is shorter than its fixed part");
        Need(at, size, "the optional header");
        m_imageBase = m_image.Pe32Plus ? Little(at + 24, 8) : U32(at + 28);
        m_image.SubsystemMajor = U16(at + 48);
        m_image.SubsystemMinor = U16(at + 50);
        m_image.Subsystem = U16(at + 68);
        const uint32_t directories = std::min(U32(at + fixed - 4), kMaxDirectories);
        if (uint64_t(directories) * 8 > size - fixed)
            Refuse("the optional header has no room for its data directories");
        m_directories = at + fixed;
        m_directoryCount = directories;
    }

    // The address of a data directory, 0 when the program has none.
    uint32_t Directory(uint32_t index) const {
        return index < m_directoryCount ? U32(m_directories + uint64_t(index) * 8) : 0;
    }

    void ReadSections(uint64_t at, uint32_t count) {
        Need(at, uint64_t(count) * 40, "the section table");
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t entry = at + uint64_t(i) * 40;
            TPeSection section;
            for (uint64_t c = 0; c < 8 && m_bytes[size_t(entry + c)] != 0; ++c) {
                const uint8_t byte = m_bytes[size_t(entry + c)];
                section.Name += byte >= 0x20 && byte < 0x7f ? char(byte) : '?';
            }
            section.VirtualSize = U32(entry + 8);
            section.VirtualAddress = U32(entry + 12);
            section.RawSize = U32(entry + 16);
            section.RawOffset = U32(entry + 20);
            if (section.RawSize != 0)
                Need(section.RawOffset, section.RawSize, "the data of section " + section.Name);
            m_image.Sections.push_back(std::move(section));
        }
    }

    // The file's bytes at an address of the loaded program, to the end of its section's data.
    std::optional<TSpan> At(uint64_t rva) const {
        for (const TPeSection& s : m_image.Sections) {
            // Past its virtual size a section holds nothing of the file, whatever its raw size.
            const uint64_t backed =
                s.VirtualSize != 0 ? std::min(s.RawSize, s.VirtualSize) : s.RawSize;
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < backed) {
                const uint64_t into = rva - s.VirtualAddress;
                return TSpan{s.RawOffset + into, backed - into};
            }
        }
        return std::nullopt;
    }
    TSpan Within(uint64_t rva, const std::string& what) const {
        const std::optional<TSpan> span = At(rva);
        if (!span)
            Refuse(what + " at " + Hex(rva) + " lies outside every section");
        return *span;
    }

    std::string Name(uint64_t rva, size_t limit, uint8_t lowest, const std::string& what) {
        const TSpan span = Within(rva, what);
        std::string name;
        for (uint64_t i = 0;; ++i) {
            if (i == span.Size)
                Refuse(what + " at " + Hex(rva) + " has no end");
            const uint8_t byte = m_bytes[size_t(span.Offset + i)];
            if (byte == 0)
                break;
            if (byte < lowest || byte > 0x7e)
                Refuse(what + " at " + Hex(rva) + " is not printable");
            if (i == limit)
                Refuse(what + " at " + Hex(rva) + " is longer than " + std::to_string(limit));
            name += char(byte);
        }
        if (name.empty())
            Refuse(what + " at " + Hex(rva) + " is empty");
        m_nameBytes += name.size();
        if (m_nameBytes > kMaxAllNameBytes)
            Refuse("the imported names are larger than 4 MiB");
        return name;
    }

    // An address as the old delay-load tables give it: a full address in the loaded program.
    uint64_t FromVa(uint64_t va, const std::string& what) const {
        if (va < m_imageBase || va - m_imageBase > 0xffffffffu)
            Refuse(what + " " + Hex(va) + " lies outside the program");
        return va - m_imageBase;
    }

    // One DLL's list of functions, by name or by ordinal, ended by a zero entry.
    void ReadFunctions(uint64_t rva, const std::string& dll, bool delayed, bool vaBased) {
        const std::string what = "the function list of " + dll;
        const TSpan span = Within(rva, what);
        const uint64_t width = m_image.Pe32Plus ? 8 : 4;
        const uint64_t ordinalFlag = uint64_t(1) << (width * 8 - 1);
        for (uint64_t at = 0;; at += width) {
            if (width > span.Size - std::min(at, span.Size))
                Refuse(what + " has no end");
            const uint64_t entry = Little(span.Offset + at, int(width));
            if (entry == 0)
                return;
            if (++m_functions > kMaxFunctions)
                Refuse("more than 65536 imported functions");
            TPeImport import{dll, {}, 0, delayed};
            if (entry & ordinalFlag) {
                import.Ordinal = uint16_t(entry);
            } else {
                uint64_t hint = vaBased ? FromVa(entry, "a function of " + dll) : entry;
                if (hint > 0xfffffffdu)
                    Refuse("a function of " + dll + " has the address " + Hex(entry));
                import.Function =
                    Name(hint + 2, kMaxFunctionNameBytes, 0x21, "a function name of " + dll);
            }
            m_image.Imports.push_back(std::move(import));
        }
    }

    // Twenty bytes a DLL, ended by one without a name or without an address table.
    void ReadImports() {
        const uint32_t rva = Directory(kDirectoryImports);
        if (rva == 0)
            return;
        const TSpan span = Within(rva, "the import table");
        for (uint64_t at = 0;; at += 20) {
            if (20 > span.Size - std::min(at, span.Size))
                Refuse("the import table has no end");
            const uint64_t entry = span.Offset + at;
            const uint32_t names = U32(entry), dllName = U32(entry + 12), table = U32(entry + 16);
            if (dllName == 0 || table == 0)
                return;
            if (++m_dlls > kMaxDlls)
                Refuse("more than 4096 imported DLLs");
            const std::string dll = Name(dllName, kMaxDllNameBytes, 0x20, "a DLL name");
            ReadFunctions(names != 0 ? names : table, dll, false, false);
        }
    }

    // Thirty-two bytes a DLL, ended by one without a name. The oldest form gives full
    // addresses instead of offsets into the program.
    void ReadDelayImports() {
        const uint32_t rva = Directory(kDirectoryDelayImports);
        if (rva == 0)
            return;
        const TSpan span = Within(rva, "the delay-load table");
        for (uint64_t at = 0;; at += 32) {
            if (32 > span.Size - std::min(at, span.Size))
                Refuse("the delay-load table has no end");
            const uint64_t entry = span.Offset + at;
            const bool vaBased = (U32(entry) & 1) == 0;
            const uint32_t dllName = U32(entry + 4), names = U32(entry + 16);
            if (dllName == 0)
                return;
            if (++m_dlls > kMaxDlls)
                Refuse("more than 4096 imported DLLs");
            const std::string dll =
                Name(vaBased ? FromVa(dllName, "a delay-loaded DLL name") : dllName,
                     kMaxDllNameBytes, 0x20, "a delay-loaded DLL name");
            if (names == 0)
                Refuse("the delay-loaded " + dll + " has no function list");
            ReadFunctions(vaBased ? FromVa(names, "the function list of " + dll) : names, dll, true,
                          vaBased);
        }
    }

    std::span<const uint8_t> m_bytes;
    TPeImage m_image;
    uint64_t m_imageBase = 0;
    uint64_t m_directories = 0;
    uint32_t m_directoryCount = 0;
    size_t m_dlls = 0;
    size_t m_functions = 0;
    size_t m_nameBytes = 0;
};

} // namespace

TPeRead ReadPeImage(std::span<const uint8_t> bytes) {
    try {
        return TPeRead{TParser(bytes).Parse(), {}};
    } catch (const TRefused& refused) {
        return TPeRead{std::nullopt, refused.Why};
    }
}
