#pragma once
// How received and sent bytes are shown in the page logs. Texts are 8-bit: every byte value
// from 0x10 to 0xC0 is shown as the character with that code.

#include <string>

// Exactly n characters: bytes below 0x10 or above 0xC0 become '.', every other byte stays.
std::string PrintableText(const char* bytes, int n);

// Text for reading: 0x20..0xC0 stay, LF stays (a CR right after it is dropped), anything else
// becomes a space, so CR LF reads as a space and a line break.
std::string PlainText(const char* bytes, int n);

// With full communication shown: PrintableText, then " (n bytes: XX XX ... )"; else PlainText.
std::string RenderBytes(const char* bytes, int n, bool fullCommunication);
