#pragma once
// The simulator's commands, typed at the console or read from a script, and the way it shows
// bytes to the person watching.

#include <cstddef>
#include <string>

namespace ReceiverSim {

struct TCommand {
    enum class TType {
        None, // blank line or comment
        Help,
        On,
        Off,
        Fail,
        Stall,
        Garbage,
        Split,
        Vanish,
        Status,
        Quit,
        Wait,
        Expect,
        Invalid,
    };
    TType Type = TType::None;
    long Number = 0;            // wait: ms; garbage: byte count; split: pause in ms
    bool AfterDownload = false; // stall: go silent after "Download started", not before
    std::string Text;           // expect: the bytes awaited, escapes resolved; invalid: the reason
};

// Limits that keep a typo from asking for a day's wait or a megabyte of noise.
constexpr long kMaxWaitMs = 3600 * 1000;
constexpr long kMaxGarbage = 4096;
constexpr long kDefaultGarbage = 16;
constexpr long kMaxSplitMs = 10000;
constexpr long kDefaultSplitMs = 50;

TCommand ParseCommand(const std::string& line);

// Resolves \r \n \t \\ and \xNN, so a script can await control bytes such as STX (\x02).
// Returns false with `error` set for a malformed escape.
bool Unescape(const std::string& text, std::string& bytes, std::string& error);

// "41 54 0D  |AT.|": hex then text with non-printables as dots; long chunks are cut after
// `limit` bytes with the total named, so a flood of garbage does not flood the console.
std::string HexDump(const char* data, size_t count, size_t limit = 64);

const char* ConsoleHelp();

} // namespace ReceiverSim
