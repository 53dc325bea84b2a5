#pragma once
// The line channel between the Linux side and the window bridge, a Windows console program
// that runs under Wine and carries out one window call per request on the transfer program's
// window. One request, one answer, in order, so a synchronous call stays synchronous. Every
// line starts with a request's number, and its answer repeats it, so an extra or stray answer
// is told from the one awaited instead of shifting all later ones:
//
//   <number> <call> <arguments>                 -> <number> <answer>
//
//   WinExec <showMode> <commandLine>            -> <1|0> <error> [<why it did not start>]
//   GetForegroundWindow                         -> <window> <error>
//   CloseWindow <window>                        -> <1|0> <error>
//   GetNextDlgTabItem <dialog> <control> <0|1>  -> <window> <error>
//   SendMessage <window> <message> <wParam> <lParam> -> <result> <error>
//   IsWindow <window>                           -> <1|0> <error>
//   SetClipboardText <text>                     -> <1|0> <error>
//   Sleep <milliseconds>                        -> 1 0
//   ExitStatus                                  -> <status> <error>
//
// ExitStatus is the last started program's exit status once it has ended, -1 while it runs or
// when none was started.
//
// Numbers are decimal (a window handle is its value as a signed 64-bit number); <error> is the
// system's last error after the call. A text is the rest of its line, UTF-8, with "%" sent as
// "%25", a line feed as "%0A" and a carriage return as "%0D". A line that does not read as a
// request is answered "<number> 0 87" (invalid parameter), with 0 for a number that cannot be
// read; requests are numbered from 1. No line is longer than kMaxLine bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Bridge {

constexpr size_t kMaxLine = 64 * 1024;
// The longest text CleanText gives, in bytes, before its closing ellipsis.
constexpr size_t kMaxCleanText = 500;

struct TRequest {
    std::string Call;             // "WinExec", "SendMessage", ...
    std::vector<int64_t> Numbers; // in the order above
    std::string Text;             // the command line or clipboard text, unescaped
    uint64_t Number = 0;          // numbered by the sender
};

struct TAnswer {
    int64_t Value = 0;
    uint32_t Error = 0;
    std::string Text;    // WinExec's reason when it failed; empty otherwise
    uint64_t Number = 0; // the request's
};

// Each formats one line without its line feed; the parsers take a line without it.
std::string FormatRequest(const TRequest& request);
std::optional<TRequest> ParseRequest(std::string_view line);
std::string FormatAnswer(const TAnswer& answer);
std::optional<TAnswer> ParseAnswer(std::string_view line);

// The number a line starts with, 0 when it starts with none.
uint64_t NumberOf(std::string_view line);

std::string Escape(std::string_view text);
std::string Unescape(std::string_view text);

// Any text from the bridge made fit for a log or a window: valid UTF-8 in which every byte
// that is not, every control character and every direction override is U+FFFD, cut at a
// character's end to at most `maxBytes` bytes and then ended with "…".
std::string CleanText(std::string_view text, size_t maxBytes = kMaxCleanText);

} // namespace Bridge
