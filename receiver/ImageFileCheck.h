#pragma once
// What a chosen image file is and what its size says about it: only a regular file the program
// can read is an image; each kind of memory takes files of a usual size, and a file off that
// size gets a question before it is accepted. Measuring is the system's (ImageFiles.h).

#include <cstdint>
#include <optional>
#include <string>

// Which file a path named when it was measured, its length and its last change. A file that
// differs in any of them since it was chosen and confirmed is not the file confirmed.
struct TImageStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t modified = 0; // nanoseconds since 1970
    bool operator==(const TImageStamp&) const = default;

    // The length as a 32-bit number; a file longer than 2 GiB reads as the largest 32-bit length
    // rather than wrapping round to a size that could pass for a valid image.
    int32_t Size32() const;
};

// A file measured for use as an image: its stamp, or why it cannot be one.
struct TImageMeasure {
    TImageStamp stamp;
    std::string problem; // empty for a readable regular file: "it is a pipe, not a file", ...
};

// The kinds of file that are no image, as the refusal names them.
enum class TNotAFile { Pipe, Device, Folder, Socket, Other };

// "it is a pipe, not a file", and so on.
std::string NotAFileProblem(TNotAFile what);

// The question for a file of `size` bytes chosen for `kind` (0 FLASH, 1 FIRMWARE, 2 EEPROM),
// or none when the size is usual for that kind.
std::optional<std::string> SizeQuestion(int32_t kind, int32_t size);

// The ready line of a kind, before the file's path.
const char* ReadyText(int32_t kind);
