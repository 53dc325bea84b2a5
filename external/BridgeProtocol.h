#pragma once
// The line channel between the Linux side and the window bridge, a Windows console program
// that runs under Wine and carries out one window call per request on the transfer program's
// window. One request, one answer, in order, so a synchronous call stays synchronous:
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
// request is answered "0 87" (invalid parameter). No line is longer than kMaxLine bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Bridge {

constexpr size_t kMaxLine = 64 * 1024;

struct TRequest {
    std::string Call;             // "WinExec", "SendMessage", ...
    std::vector<int64_t> Numbers; // in the order above
    std::string Text;             // the command line or clipboard text, unescaped
};

struct TAnswer {
    int64_t Value = 0;
    uint32_t Error = 0;
    std::string Text; // WinExec's reason when it failed; empty otherwise
};

// Each formats one line without its line feed; the parsers take a line without it.
std::string FormatRequest(const TRequest& request);
std::optional<TRequest> ParseRequest(std::string_view line);
std::string FormatAnswer(const TAnswer& answer);
std::optional<TAnswer> ParseAnswer(std::string_view line);

std::string Escape(std::string_view text);
std::string Unescape(std::string_view text);

} // namespace Bridge
