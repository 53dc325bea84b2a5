#pragma once
// A Windows program's headers and import tables, read from the bytes of its file (a PE image):
// what it is built for (machine, PE32 or PE32+, subsystem and the subsystem version it asks
// of the system), its sections, and each function it imports (or delay-loads) from each DLL.
// Nothing of the system's is used, so it reads any program on any system.
//
// The file may be hostile: every offset and size is checked against the file and the section
// it lies in, every loop and name is bounded, and a file that breaks a rule is refused with a
// reason rather than read in part. Time and memory grow at most linearly with the file, which
// the caller reads with a size limit (kPeMaxFileBytes).
//
// Stateless; any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The largest file that is read; a larger one is refused before it is looked at.
constexpr size_t kPeMaxFileBytes = size_t(64) << 20;

// Machines and subsystems the checks name; others are kept as numbers.
constexpr uint16_t kPeMachineI386 = 0x014c;
constexpr uint16_t kPeMachineAmd64 = 0x8664;
constexpr uint16_t kPeSubsystemGui = 2;
constexpr uint16_t kPeSubsystemConsole = 3;

struct TPeSection {
    std::string Name; // up to 8 characters, as the table has it
    uint32_t VirtualAddress = 0;
    uint32_t VirtualSize = 0;
    uint32_t RawOffset = 0; // where its bytes are in the file
    uint32_t RawSize = 0;
};

struct TPeImport {
    std::string Dll;      // as the program names it ("KERNEL32.dll")
    std::string Function; // empty when imported by ordinal
    uint16_t Ordinal = 0; // only when imported by ordinal
    bool Delayed = false; // loaded on first call rather than when the program starts
};

struct TPeImage {
    uint16_t Machine = 0;
    bool Pe32Plus = false; // the 64-bit form of the optional header
    uint16_t Subsystem = 0;
    uint16_t SubsystemMajor = 0; // the oldest system version the program says it runs on
    uint16_t SubsystemMinor = 0;
    std::vector<TPeSection> Sections;
    std::vector<TPeImport> Imports; // in table order: the imports, then the delay-loaded ones
};

// The image, or why the bytes are not one that can be read safely.
struct TPeRead {
    std::optional<TPeImage> Image;
    std::string Failure;
};

TPeRead ReadPeImage(std::span<const uint8_t> bytes);
