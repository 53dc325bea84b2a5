// The PE reader on the programs this build makes for Windows, on hand-made images, and on
// hand-made images broken the ways a hostile file would be: each is read or refused with its
// reason, never read in part.
#include "system/PeImage.h"

#include "tests/support/PeBytes.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>

namespace {

using Bytes = std::vector<uint8_t>;
using Import = std::tuple<std::string, std::string, uint16_t, bool>;

Bytes Built(std::function<void(TPeBytes&)> change = {}) {
    TPeBytes image;
    if (change)
        change(image);
    return image.Build();
}
Bytes Patched(Bytes bytes, size_t at, uint64_t value, size_t width) {
    TPeBytes::Put(bytes, at, value, width);
    return bytes;
}
Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}
// The section's size as the loaded program sees it, cut short.
Bytes Shortened(Bytes bytes, uint32_t by) {
    const size_t field = TPeBytes().SectionTable() + 8;
    return Patched(bytes, field, uint32_t(bytes.size() - TPeBytes::kRaw - by), 4);
}
Bytes Replaced(Bytes bytes, const std::string& from, const std::string& to) {
    const auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    std::copy(to.begin(), to.end(), at);
    return bytes;
}
Bytes FileOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

std::vector<Import> ImportsOf(const TPeImage& image) {
    std::vector<Import> imports;
    for (const TPeImport& i : image.Imports)
        imports.emplace_back(i.Dll, i.Function, i.Ordinal, i.Delayed);
    return imports;
}

struct TCase {
    const char* Name;
    std::function<Bytes()> Image;
    std::string Refused; // a part of the reason; empty: read
    std::vector<Import> Imports = {};
};

const TCase kCases[] = {
    {"PE32",
     [] { return Built(); },
     "",
     {{"KERNEL32.dll", "GetTickCount", 0, false}, {"KERNEL32.dll", "", 7, false}}},
    {"PE32+ with delay-loaded imports",
     [] {
         return Built([](TPeBytes& b) {
             b.Pe32Plus = true;
             b.Imports = {{"USER32.dll", {"CreateWindowExW"}}, {"WS2_32.dll", {"#115"}}};
             b.Delayed = {{"dwmapi.dll", {"DwmFlush"}}};
         });
     },
     "",
     {{"USER32.dll", "CreateWindowExW", 0, false},
      {"WS2_32.dll", "", 115, false},
      {"dwmapi.dll", "DwmFlush", 0, true}}},
    {"empty", [] { return Bytes{}; }, "ends inside the DOS header"},
    {"cut in the DOS header", [] { return Cut(Built(), 40); }, "ends inside the DOS header"},
    {"cut in the signature", [] { return Cut(Built(), 0x42); }, "ends inside the PE signature"},
    {"cut in the COFF header", [] { return Cut(Built(), 0x50); }, "inside the COFF header"},
    {"cut in the optional header", [] { return Cut(Built(), 0x80); }, "the optional header"},
    {"cut in the section table", [] { return Cut(Built(), 0x150); }, "the section table"},
    {"cut in the section", [] { return Cut(Built(), 0x210); }, "the data of section .idata"},
    {"no MZ", [] { return Patched(Built(), 0, 0, 2); }, "no DOS header"},
    {"PE offset past the end",
     [] { return Patched(Built(), TPeBytes::kPeOffsetField, 0xfffffff0, 4); }, "past the end"},
    {"no PE signature", [] { return Patched(Built(), 0x40, 0x454e, 4); }, "no PE signature"},
    {"unknown optional header", [] { return Patched(Built(), TPeBytes::kOptional, 0x107, 2); },
     "optional header kind"},
    {"optional header past the end",
     [] { return Patched(Built(), TPeBytes::kCoff + 16, 0xfff0, 2); },
     "ends inside the optional header"},
    {"optional header without its fixed part",
     [] { return Patched(Built(), TPeBytes::kCoff + 16, 90, 2); }, "shorter than its fixed"},
    {"directories past the optional header",
     [] {
         const Bytes small = Patched(Built(), TPeBytes::kCoff + 16, 96, 2);
         return Patched(small, TPeBytes().Directories() - 4, 0xffffffff, 4);
     },
     "no room for its data directories"},
    {"too many sections", [] { return Patched(Built(), TPeBytes::kCoff + 2, 0xffff, 2); },
     "more than a loader takes"},
    {"section table past the end", [] { return Patched(Built(), TPeBytes::kCoff + 2, 90, 2); },
     "the section table"},
    {"section data past the end",
     [] { return Patched(Built(), TPeBytes().SectionTable() + 20, 0xfffffe00, 4); },
     "the data of section .idata"},
    {"import table outside every section",
     [] { return Patched(Built(), TPeBytes().Directories() + 8, 0x9000, 4); },
     "import table at 0x9000 lies outside every section"},
    {"import table at the top of the address space",
     [] { return Patched(Built(), TPeBytes().Directories() + 8, 0xfffffff8, 4); },
     "outside every section"},
    {"DLL name without its end", [] { return Shortened(Built(), 1); }, "has no end"},
    {"DLL name not printable", [] { return Replaced(Built(), "KERNEL32", "KERN\x01L"); },
     "not printable"},
    {"function name too long",
     [] { return Built([](TPeBytes& b) {
              b.Imports = {{"a.dll", {std::string(5000, 'x')}}};
          }); },
     "longer than 4096"},
    {"function name empty",
     [] { return Built([](TPeBytes& b) {
              b.Imports = {{"a.dll", {""}}};
          }); }, "is empty"},
    {"import table without an end", [] { return Built([](TPeBytes& b) { b.Terminated = false; }); },
     "import table has no end"},
    {"DLLs past every bound", [] { return Built([](TPeBytes& b) { b.Repeat = 5000; }); },
     "more than 4096 imported DLLs"},
    {"functions past every bound",
     [] {
         return Built([](TPeBytes& b) {
             b.Imports = {{"a.dll", std::vector<std::string>(40, "#1")}};
             b.Repeat = 2000;
         });
     },
     "more than 65536 imported functions"},
    {"larger than the reader takes", [] { return Bytes(kPeMaxFileBytes + 1, 'M'); },
     "larger than 64 MiB"},
};

void PrintTo(const TCase& c, std::ostream* out) {
    *out << c.Name;
}

class PeImageCases : public ::testing::TestWithParam<TCase> {};

TEST_P(PeImageCases, ReadOrRefused) {
    const TCase& c = GetParam();
    const TPeRead read = ReadPeImage(c.Image());
    if (!c.Refused.empty()) {
        EXPECT_FALSE(read.Image);
        EXPECT_NE(read.Failure.find(c.Refused), std::string::npos) << read.Failure;
        return;
    }
    ASSERT_TRUE(read.Image) << read.Failure;
    EXPECT_EQ(ImportsOf(*read.Image), c.Imports);
    EXPECT_EQ(read.Image->SubsystemMajor, 5);
    EXPECT_EQ(read.Image->SubsystemMinor, 1);
}

INSTANTIATE_TEST_SUITE_P(Images, PeImageCases, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.Name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
});

// The programs this build makes for Windows, as a linker wrote them.
struct TProgram {
    const char* Path; // in the Windows build of its arch
    uint16_t Machine;
    std::string Dll, Function; // one import it must have
};

void PrintTo(const TProgram& p, std::ostream* out) {
    *out << p.Path;
}

class BuiltPrograms : public ::testing::TestWithParam<TProgram> {};

TEST_P(BuiltPrograms, Read) {
    const Bytes bytes = FileOf(WINDOWS_BUILD + std::string(GetParam().Path));
    if (bytes.empty())
        GTEST_SKIP() << GetParam().Path << " is not built";
    const TPeRead read = ReadPeImage(bytes);
    ASSERT_TRUE(read.Image) << read.Failure;
    EXPECT_EQ(read.Image->Machine, GetParam().Machine);
    EXPECT_EQ(read.Image->Pe32Plus, GetParam().Machine == kPeMachineAmd64);
    EXPECT_GE(read.Image->Sections.size(), 3u);
    EXPECT_TRUE(
        std::any_of(read.Image->Imports.begin(), read.Image->Imports.end(), [](const TPeImport& i) {
            return i.Dll == GetParam().Dll && i.Function == GetParam().Function;
        }));
}

INSTANTIATE_TEST_SUITE_P(
    Windows, BuiltPrograms,
    ::testing::Values(
        TProgram{"-x86_64/window-bridge/window-bridge.exe", kPeMachineAmd64, "USER32.dll",
                 "SendMessageTimeoutW"},
        TProgram{"-i686/window-bridge/window-bridge.exe", kPeMachineI386, "USER32.dll",
                 "SendMessageTimeoutW"},
        TProgram{"-x86_64/transfer-win/Vell_par.exe", kPeMachineAmd64, "WS2_32.dll", "connect"},
        TProgram{"-i686/transfer-win/Vell_par.exe", kPeMachineI386, "WS2_32.dll", "connect"}));

} // namespace
