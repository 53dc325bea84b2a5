#pragma once
// A page log as the receiver dialogue writes it: coloured lines appended at the end, the last
// one read back and replaced while the run's text grows it. The window's logs are widgets; the
// dialogue sees only this.

#include "receiver/LogColors.h"

#include <string>

class TLog {
public:
    virtual ~TLog() = default;

    // The colour of text appended from now on; text already shown keeps its colour.
    virtual void SetColor(TColor color) = 0;
    // Appends text as a new line; each line feed in it starts a further line, a leading one too.
    virtual void Append(const std::string& text) = 0; // 8-bit text
    // Appends the program's own UTF-8 text (a path, the system's words) as Append does.
    virtual void AppendUtf8(const std::string& text) = 0;
    void Append(const char* text) { Append(std::string(text)); }
    virtual void Clear() = 0;
    virtual int LineCount() const = 0;
    virtual std::string Line(int index) const = 0; // 8-bit text; empty when out of range
    virtual void DeleteLine(int index) = 0;        // out-of-range indexes are ignored
};
