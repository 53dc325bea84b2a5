// The oldest-Windows check on hand-made images: what it must name, and what it must let pass.
#include "tools/pe-check/OldestWindowsCheck.h"

#include "tests/support/PeBytes.h"

#include <gtest/gtest.h>

namespace {

const char kList[] = "# a comment line\n"
                     "kernel32.dll GetTickCount64 Vista   # and one after an entry\n"
                     "\n"
                     "dwmapi.dll * Vista\n"
                     "api-ms-win-* * 7\n";

struct TCase {
    const char* Name;
    TPeBytes Image;
    std::vector<std::string> Findings;
};

TPeBytes Importing(std::vector<TPeBytes::Dll> imports, std::vector<TPeBytes::Dll> delayed = {},
                   uint16_t major = 5, uint16_t minor = 1) {
    TPeBytes image;
    image.Imports = std::move(imports);
    image.Delayed = std::move(delayed);
    image.Major = major;
    image.Minor = minor;
    return image;
}

TEST(OldestWindowsCheck, NamesWhatTheOldestLacks) {
    const TCase cases[] = {
        {"XP's own", Importing({{"KERNEL32.dll", {"GetTickCount", "CancelIo", "#3"}}}), {}},
        {"a newer function, in any case of DLL name",
         Importing({{"KERNEL32.DLL", {"GetTickCount", "GetTickCount64"}}}),
         {"GetTickCount64 from KERNEL32.DLL: not before Windows Vista"}},
        {"the same name from another DLL", Importing({{"USER32.dll", {"GetTickCount64"}}}), {}},
        {"a DLL that XP lacks, delay-loaded, by ordinal",
         Importing({{"USER32.dll", {"CreateWindowExW"}}}, {{"dwmapi.dll", {"#105"}}}),
         {"ordinal 105 from dwmapi.dll (delay-loaded): not before Windows Vista"}},
        {"a DLL by the beginning of its name",
         Importing({{"api-ms-win-core-synch-l1-2-0.dll", {"WaitOnAddress"}}}),
         {"WaitOnAddress from api-ms-win-core-synch-l1-2-0.dll: not before Windows 7"}},
        {"a newer subsystem version",
         Importing({{"a.dll", {"f"}}}, {}, 6, 0),
         {"subsystem version 6.0 is newer than 5.1"}},
        {"a newer minor version",
         Importing({{"a.dll", {"f"}}}, {}, 5, 2),
         {"subsystem version 5.2 is newer than 5.1"}},
        {"an older one", Importing({{"a.dll", {"f"}}}, {}, 4, 0), {}},
    };
    std::vector<TNewerImport> list;
    std::string error;
    ASSERT_TRUE(ParseNewerImports(kList, list, error)) << error;
    ASSERT_EQ(list.size(), 3u);
    for (const TCase& c : cases) {
        const TPeRead read = ReadPeImage(c.Image.Build());
        ASSERT_TRUE(read.Image) << c.Name << ": " << read.Failure;
        EXPECT_EQ(CheckOldestWindows(*read.Image, {5, 1}, list), c.Findings) << c.Name;
    }
}

TEST(OldestWindowsCheck, RefusesALineThatIsNoEntry) {
    for (const char* text : {"kernel32.dll GetTickCount64\n", "a.dll f Vista extra\n"}) {
        std::vector<TNewerImport> list;
        std::string error;
        EXPECT_FALSE(ParseNewerImports(std::string("# first\n") + text, list, error)) << text;
        EXPECT_EQ(error, "line 2 is not \"DLL FUNCTION SINCE\"");
    }
}

} // namespace
