// The image files of Windows: only a file on a disk is measured; a name the system maps to a
// device or a pipe is refused as one, without being opened.

#include "system/WinImageFiles.h"

#include "external/WinText.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

TEST(WinImageFilesTest, RefusesWhatIsNoFileOnADisk) {
    const TestSupport::TTempFolder folder;
    const std::string pipeName = "pipe\\vell-image-test-" + std::to_string(::GetCurrentProcessId());
    const HANDLE pipe = ::CreateNamedPipeW(Widen("\\\\.\\" + pipeName).c_str(), PIPE_ACCESS_DUPLEX,
                                           PIPE_TYPE_BYTE, 4, 512, 512, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const std::string device = "it is a device, not a file";
    const struct {
        std::string path, problem;
    } cases[] = {
        {"NUL", device},
        {"COM1", device},
        {folder.Path("COM1"), device}, // the system's name wins over the folder's
        {"\\\\.\\" + pipeName, "it is a pipe, not a file"},
        {"//./" + pipeName, "it is a pipe, not a file"}, // as the system reads it
        {folder.Path(), "it is a folder, not a file"},
        {"", SystemErrorText(ERROR_INVALID_NAME)},
        {std::string("a\0b", 3), SystemErrorText(ERROR_INVALID_NAME)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TWinImageFiles().Measure(c.path).problem, c.problem) << c.path;
    ::CloseHandle(pipe);
}

// A file is one by its volume and index: another file of the same size and time in its place
// is another file; a file that is open elsewhere, even for writing, can still be measured.
TEST(WinImageFilesTest, StampNamesTheFile) {
    const TestSupport::TTempFolder folder;
    const std::string path = folder.Path("image.bin"), other = folder.Path("other.bin");
    std::ofstream(path, std::ios::binary) << std::string(1000, 'x');
    std::ofstream(other, std::ios::binary) << std::string(1000, 'y');
    // Whole seconds: the library sets a file's time on Windows without its fraction.
    namespace fs = std::filesystem;
    fs::last_write_time(path, std::chrono::floor<std::chrono::seconds>(fs::last_write_time(path)));
    const TImageMeasure first = TWinImageFiles().Measure(path);
    ASSERT_EQ(first.problem, "");
    EXPECT_EQ(first.stamp.size, 1000);
    const HANDLE writer = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(TWinImageFiles().Measure(path).stamp, first.stamp);
    ::CloseHandle(writer);
    fs::last_write_time(other, fs::last_write_time(path));
    fs::rename(other, path);
    const TImageMeasure replaced = TWinImageFiles().Measure(path);
    EXPECT_EQ(replaced.stamp.size, 1000);
    EXPECT_EQ(replaced.stamp.modified, first.stamp.modified);
    EXPECT_NE(replaced.stamp, first.stamp);
}

} // namespace
