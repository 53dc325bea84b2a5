#pragma once
// What the size of a chosen image file says about it: each kind of memory takes files of a
// usual size, and a file off that size gets a question before it is accepted.

#include <QString>
#include <cstdint>
#include <optional>

// The file's length in bytes as a 32-bit number; -1 when it cannot be opened. A file longer
// than 2 GiB reads as the largest 32-bit length rather than wrapping round to a size that
// could pass for a valid image.
int32_t ImageFileSize(const QString& path);

// The question for a file of `size` bytes chosen for `kind` (0 FLASH, 1 FIRMWARE, 2 EEPROM),
// or none when the size is usual for that kind.
std::optional<QString> SizeQuestion(int32_t kind, int32_t size);

// The ready line of a kind, before the file's path.
const char* ReadyText(int32_t kind);
