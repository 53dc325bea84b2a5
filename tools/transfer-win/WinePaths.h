#pragma once
// Paths as a Windows program under Wine sees the Linux side's files: a Unix path is reached
// through the Z: drive, which Wine maps to the root of the file system.

#include <optional>
#include <string>

// "/tmp/a b" -> "Z:\tmp\a b"; a path that does not start with "/" is returned as it is.
std::wstring WindowsPathOf(const std::wstring& path);

// An environment variable; none when it is not set or empty.
std::optional<std::wstring> EnvironmentValue(const wchar_t* name);

// The Linux side's per-user virtual ports folder, as a Windows path:
// $XDG_RUNTIME_DIR/vell-writer/ports, or /tmp/vell-writer-<uid>/ports with the user's id read
// from /proc/self/status (Wine runs this program as a process of that user). None when
// neither can be found.
std::optional<std::wstring> PortsFolder();
