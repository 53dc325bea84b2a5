// pe_check: whether built Windows programs run on the oldest Windows they are built for.
//   pe_check --oldest 5.1 --newer windows/NewerThanOldest.txt PROGRAM...
//   pe_check --list PROGRAM...   (the headers and imports, as read)
// A folder stands for every program (*.exe) beneath it, but for CMake's own.
// Exits 0 when every program runs there, 1 when one does not (each reason a line), 2 when a
// program cannot be read, and 77 when a program is not there (its test is skipped).

#include "system/PeImage.h"
#include "tools/pe-check/OldestWindowsCheck.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kMissing = 77;

// The file's bytes, one more than the reader takes at most so that it refuses a larger file.
std::optional<std::vector<uint8_t>> ReadBounded(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::vector<uint8_t> bytes(kPeMaxFileBytes + 1);
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    bytes.resize(size_t(file.gcount()));
    return bytes;
}

void List(const std::string& path, const TPeImage& image) {
    std::printf("%s: machine 0x%04x, %s, subsystem %u, version %u.%u\n", path.c_str(),
                image.Machine, image.Pe32Plus ? "PE32+" : "PE32", image.Subsystem,
                image.SubsystemMajor, image.SubsystemMinor);
    for (const TPeImport& import : image.Imports)
        std::printf("  %s%s %s\n", import.Dll.c_str(), import.Delayed ? " (delayed)" : "",
                    import.Function.empty() ? ("#" + std::to_string(import.Ordinal)).c_str()
                                            : import.Function.c_str());
}

// The programs named, a folder's found beneath it.
std::vector<std::string> Programs(const std::vector<std::string>& paths) {
    namespace fs = std::filesystem;
    std::vector<std::string> programs;
    for (const std::string& path : paths) {
        if (!fs::is_directory(path)) {
            programs.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        for (auto it = fs::recursive_directory_iterator(path); it != fs::end(it); ++it) {
            if (it->is_directory() && it->path().filename() == "CMakeFiles")
                it.disable_recursion_pending(); // its compiler checks are not our programs
            else if (it->is_regular_file() && it->path().extension() == ".exe")
                found.push_back(it->path().string());
        }
        std::sort(found.begin(), found.end());
        programs.insert(programs.end(), found.begin(), found.end());
    }
    return programs;
}

int Usage() {
    std::fprintf(stderr, "usage: pe_check --oldest MAJOR.MINOR --newer LIST PROGRAM...\n"
                         "       pe_check --list PROGRAM...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool list = false;
    TWindowsVersion oldest;
    std::vector<TNewerImport> newer;
    size_t at = 0;
    for (; at < args.size() && args[at].rfind("--", 0) == 0; ++at) {
        if (args[at] == "--list") {
            list = true;
        } else if (args[at] == "--oldest" && at + 1 < args.size()) {
            unsigned major = 0, minor = 0;
            if (std::sscanf(args[++at].c_str(), "%u.%u", &major, &minor) != 2)
                return Usage();
            oldest = {uint16_t(major), uint16_t(minor)};
        } else if (args[at] == "--newer" && at + 1 < args.size()) {
            std::ifstream file(args[++at]);
            const std::string text{std::istreambuf_iterator<char>(file), {}};
            std::string error;
            if (!file || !ParseNewerImports(text, newer, error)) {
                std::fprintf(stderr, "%s: %s\n", args[at].c_str(),
                             file ? error.c_str() : "cannot be read");
                return 2;
            }
        } else {
            return Usage();
        }
    }
    if (at == args.size() || (!list && (oldest.Major == 0 || newer.empty())))
        return Usage();

    bool failed = false, unreadable = false, missing = false;
    for (const std::string& path : Programs({args.begin() + std::ptrdiff_t(at), args.end()})) {
        const std::optional<std::vector<uint8_t>> bytes = ReadBounded(path);
        if (!bytes) {
            std::printf("%s: not built, skipped\n", path.c_str());
            missing = true;
            continue;
        }
        const TPeRead read = ReadPeImage(*bytes);
        if (!read.Image) {
            std::printf("%s: cannot be read: %s\n", path.c_str(), read.Failure.c_str());
            unreadable = true;
            continue;
        }
        if (list) {
            List(path, *read.Image);
            continue;
        }
        const std::vector<std::string> findings = CheckOldestWindows(*read.Image, oldest, newer);
        for (const std::string& finding : findings)
            std::printf("%s: %s\n", path.c_str(), finding.c_str());
        failed = failed || !findings.empty();
        if (findings.empty())
            std::printf("%s: runs on Windows %u.%u (%zu imports checked)\n", path.c_str(),
                        oldest.Major, oldest.Minor, read.Image->Imports.size());
    }
    return failed ? 1 : unreadable ? 2 : missing ? kMissing : 0;
}
