#pragma once
// UTF-16 (the window system's text) to UTF-8 (records, the wire) and back.

#include <optional>
#include <string>
#include <string_view>

std::string Narrow(std::wstring_view text);
std::wstring Widen(std::string_view text);
// None for text that is not UTF-8 or holds a NUL (it would cut the text): for what must arrive
// exactly, as a command line or a pasted path.
std::optional<std::wstring> WidenExact(std::string_view text);

// The system's text for an error code (Windows or Winsock), on one line, with the code.
std::string SystemErrorText(unsigned long error);
