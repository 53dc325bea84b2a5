#include "tools/pe-check/OldestWindowsCheck.h"

#include <algorithm>
#include <sstream>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

bool DllMatches(const std::string& pattern, const std::string& dll) {
    if (!pattern.empty() && pattern.back() == '*')
        return dll.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return pattern == dll;
}

std::string Named(const TPeImport& import) {
    return import.Function.empty() ? "ordinal " + std::to_string(import.Ordinal) : import.Function;
}

} // namespace

bool ParseNewerImports(const std::string& text, std::vector<TNewerImport>& list,
                       std::string& error) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words(line.substr(0, line.find('#')));
        TNewerImport entry;
        std::string extra;
        if (!(words >> entry.Dll))
            continue;
        if (!(words >> entry.Function >> entry.Since) || (words >> extra)) {
            error = "line " + std::to_string(number) + " is not \"DLL FUNCTION SINCE\"";
            return false;
        }
        entry.Dll = Lower(entry.Dll);
        list.push_back(std::move(entry));
    }
    return true;
}

std::vector<std::string> CheckOldestWindows(const TPeImage& image, TWindowsVersion oldest,
                                            const std::vector<TNewerImport>& newer) {
    std::vector<std::string> findings;
    if (image.SubsystemMajor > oldest.Major ||
        (image.SubsystemMajor == oldest.Major && image.SubsystemMinor > oldest.Minor))
        findings.push_back("subsystem version " + std::to_string(image.SubsystemMajor) + "." +
                           std::to_string(image.SubsystemMinor) + " is newer than " +
                           std::to_string(oldest.Major) + "." + std::to_string(oldest.Minor));
    for (const TPeImport& import : image.Imports) {
        const std::string dll = Lower(import.Dll);
        for (const TNewerImport& entry : newer)
            if (DllMatches(entry.Dll, dll) &&
                (entry.Function == "*" || entry.Function == import.Function)) {
                findings.push_back(Named(import) + " from " + import.Dll +
                                   (import.Delayed ? " (delay-loaded)" : "") +
                                   ": not before Windows " + entry.Since);
                break;
            }
    }
    return findings;
}
