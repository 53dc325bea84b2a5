#pragma once
// Reading what a child or a program under test wrote into a file: all of it, or its lines. A
// missing file reads as empty, as it does before anything was written.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace TestSupport {

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Its lines without their line feeds, empty lines left out.
inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream text(ReadFile(path));
    for (std::string line; std::getline(text, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

} // namespace TestSupport
