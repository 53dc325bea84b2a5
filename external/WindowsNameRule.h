#pragma once
// Which Linux paths a Windows program under Wine would read as another file, or not at all.
// Wine hands a Linux path to Windows by turning each "/" into "\" under a drive letter; a name
// that holds what Windows reads as a separator, a drive, a device or a name it trims is then
// another file. Pure; any thread.

#include <string>

// Why Windows would not read the absolute Linux path `path` as that file: one line, such as
// "Windows reads the backslash in \"a\\b.bin\" as a folder separator"; empty when it would.
std::string WindowsNameProblem(const std::string& path);
