#pragma once
// Whether a Windows program runs on the oldest Windows it is built for: its header asks for
// no newer subsystem version, and it imports nothing that Windows lacks (a list of such
// imports, windows/NewerThanOldest.txt). Stateless; any thread.

#include "system/PeImage.h"

#include <cstdint>
#include <string>
#include <vector>

// An import the oldest Windows lacks.
struct TNewerImport {
    std::string Dll;      // lower case; a name ending in '*' stands for every DLL it begins
    std::string Function; // "*": every function of the DLL
    std::string Since;    // the first Windows that has it ("Vista")
};

struct TWindowsVersion {
    uint16_t Major = 0;
    uint16_t Minor = 0;
};

// The list's entries: "DLL FUNCTION SINCE" a line, '#' to the end of a line is a comment.
// Returns false, with the line's number in error, when a line is not such an entry.
bool ParseNewerImports(const std::string& text, std::vector<TNewerImport>& list,
                       std::string& error);

// What keeps the program from the oldest Windows, a line each; none when it runs there.
std::vector<std::string> CheckOldestWindows(const TPeImage& image, TWindowsVersion oldest,
                                            const std::vector<TNewerImport>& newer);
