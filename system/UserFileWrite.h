#pragma once
// Writing a whole file that the user named (a saved log) so that the name cannot be turned
// against another file: the target must be a regular file the user owns, or a new one. The
// bytes go to a file beside it first, which replaces the target only once written whole, so a
// failed write leaves the old file as it was. Nothing here blocks on what sits at the name: a
// pipe or a device is refused without waiting for its far end. On Windows the name is UTF-8,
// a link or junction counts as a link, and the owner is judged where the file system keeps one.
// Stateless; any thread.

#include <string>

// Writes `bytes` as the whole of the file `path`. An existing target keeps its mode. False when
// the target is refused or the write fails; `why` then says why, and the target is unchanged.
bool WriteUserFile(const std::string& path, const std::string& bytes, std::string& why);
