#pragma once
// Windows program images made byte by byte, for the tests of what reads them: a DOS header,
// the PE headers (PE32 or PE32+) and one section, .idata, holding the import tables.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TPeBytes {
    // Where the tests reach into the headers.
    static constexpr size_t kPeOffsetField = 0x3c;
    static constexpr size_t kCoff = 0x44;
    static constexpr size_t kOptional = 0x58;
    static constexpr size_t kRaw = 0x200;    // the section's bytes in the file
    static constexpr uint32_t kRva = 0x1000; // and in the loaded program

    using Dll = std::pair<std::string, std::vector<std::string>>; // "#7": ordinal 7
    bool Pe32Plus = false;
    uint16_t Major = 5, Minor = 1;
    std::vector<Dll> Imports{{"KERNEL32.dll", {"GetTickCount", "#7"}}};
    std::vector<Dll> Delayed;
    bool Terminated = true; // else the import table runs to the end of the section
    size_t Repeat = 1;      // the import table's DLLs, over and over

    size_t OptionalSize() const { return Pe32Plus ? 240 : 224; }
    size_t Directories() const { return kOptional + (Pe32Plus ? 112 : 96); }
    size_t SectionTable() const { return kOptional + OptionalSize(); }

    static void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, size_t width) {
        if (bytes.size() < at + width)
            bytes.resize(at + width);
        for (size_t i = 0; i < width; ++i)
            bytes[at + i] = uint8_t(value >> (8 * i));
    }

    std::vector<uint8_t> Build() const {
        const size_t width = Pe32Plus ? 8 : 4;
        std::vector<uint8_t> data; // the section
        const auto append = [&](uint64_t value, size_t size) {
            Put(data, data.size(), value, size);
        };
        const auto rva = [&] { return uint32_t(kRva + data.size()); };
        // The tables first and the DLL names last, so that a cut section cuts a name; an
        // unterminated import table is last instead.
        const size_t tables = Terminated ? Imports.size() * Repeat * 20 + 20 : 0;
        const size_t delayed = Delayed.empty() ? 0 : Delayed.size() * 32 + 32;
        data.resize(tables + delayed);
        const auto lists = [&](const std::vector<Dll>& dlls) {
            std::vector<uint32_t> at;
            for (const Dll& dll : dlls) {
                std::vector<uint64_t> entries;
                for (const std::string& function : dll.second) {
                    if (function.rfind('#', 0) == 0) {
                        entries.push_back(uint64_t(1) << (width * 8 - 1) |
                                          std::stoul(function.substr(1)));
                        continue;
                    }
                    entries.push_back(rva());
                    append(0, 2); // the hint
                    data.insert(data.end(), function.begin(), function.end());
                    data.push_back(0);
                }
                at.push_back(rva());
                for (uint64_t entry : entries)
                    append(entry, width);
                append(0, width);
            }
            return at;
        };
        const std::vector<uint32_t> importLists = lists(Imports), delayedLists = lists(Delayed);
        const auto names = [&](const std::vector<Dll>& dlls) {
            std::vector<uint32_t> at;
            for (const Dll& dll : dlls) {
                at.push_back(rva());
                data.insert(data.end(), dll.first.begin(), dll.first.end());
                data.push_back(0);
            }
            return at;
        };
        const std::vector<uint32_t> importNames = names(Imports), delayedNames = names(Delayed);
        const size_t table = Terminated ? 0 : data.size();
        for (size_t r = 0, at = table; r < Repeat; ++r)
            for (size_t i = 0; i < Imports.size(); ++i, at += 20) {
                Put(data, at, importLists[i], 4);
                Put(data, at + 12, importNames[i], 4);
                Put(data, at + 16, importLists[i], 4);
            }
        for (size_t i = 0; i < Delayed.size(); ++i) {
            const size_t at = tables + i * 32;
            Put(data, at, 1, 4); // offsets, not full addresses
            Put(data, at + 4, delayedNames[i], 4);
            Put(data, at + 12, delayedLists[i], 4);
            Put(data, at + 16, delayedLists[i], 4);
        }

        std::vector<uint8_t> file(kRaw);
        file[0] = 'M', file[1] = 'Z';
        Put(file, kPeOffsetField, 0x40, 4);
        Put(file, 0x40, 0x00004550, 4);
        Put(file, kCoff, Pe32Plus ? 0x8664 : 0x14c, 2);
        Put(file, kCoff + 2, 1, 2);
        Put(file, kCoff + 16, OptionalSize(), 2);
        Put(file, kOptional, Pe32Plus ? 0x20b : 0x10b, 2);
        Put(file, kOptional + (Pe32Plus ? 24 : 28), Pe32Plus ? 0x140000000 : 0x400000, width);
        Put(file, kOptional + 48, Major, 2);
        Put(file, kOptional + 50, Minor, 2);
        Put(file, kOptional + 68, 3, 2); // a console program
        Put(file, Directories() - 4, 16, 4);
        Put(file, Directories() + 8, kRva + table, 4);
        if (!Delayed.empty())
            Put(file, Directories() + 13 * 8, kRva + tables, 4);
        const size_t section = SectionTable();
        std::copy_n(".idata", 6, file.begin() + std::ptrdiff_t(section));
        Put(file, section + 8, data.size(), 4);
        Put(file, section + 12, kRva, 4);
        Put(file, section + 16, data.size(), 4);
        Put(file, section + 20, kRaw, 4);
        file.insert(file.end(), data.begin(), data.end());
        return file;
    }
};
