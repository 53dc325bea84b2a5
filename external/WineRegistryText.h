#pragma once
// Values of a Wine prefix's registry file (system.reg, user.reg), read from its text as Wine
// writes it: a section per key, `[Software\\Wine\\Ports] 1796717386`, then its values,
// `"LPT1"="/dev/lp0"`, with C escapes, `\x` escapes of UTF-16 units (`\x00e9`), `str(2):` before
// an expandable text and `dword:` or `hex:` before other data. Names of keys and values are
// matched ignoring ASCII case, as Windows does for the names looked up here.
//
// The text may be hostile: it is taken in pieces of any size, a line longer than
// kWineRegMaxLine is dropped whole and ends the section it is in, and memory stays within one
// line however long the text. The scan says when the sections asked for have all been read,
// so that a caller reading a file can stop there.
//
// Not thread-safe; one object per text.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kWineRegMaxLine = size_t(64) << 10;

struct TWineRegValue {
    enum class EKind { Text, Expandable, Other };
    EKind Kind = EKind::Other;
    std::string Data; // UTF-8, for Text and Expandable; a lone UTF-16 half reads as U+FFFD
};

struct TWineRegWanted {
    std::string Key;   // relative to the file's root, one backslash between names
    std::string Value; // "" for the key's default value (`@=`)
};

class TWineRegScan {
public:
    explicit TWineRegScan(std::vector<TWineRegWanted> wanted);

    // More of the text; false once every wanted key's section has been read to its end, as the
    // rest of the text cannot change what was found.
    bool Feed(std::string_view bytes);
    // The end of the text: the scan is done.
    void End();
    bool Done() const;
    // What the text holds for wanted[i], when it has it.
    const std::optional<TWineRegValue>& Found(size_t i) const { return m_found.at(i); }

private:
    void Line(std::string_view line);
    void EndSection();

    std::vector<TWineRegWanted> m_wanted;
    std::vector<std::optional<TWineRegValue>> m_found;
    std::vector<bool> m_read;    // per wanted key: its section has been read to its end
    std::vector<size_t> m_inKey; // the wanted entries of the section being read
    std::string m_line;
    bool m_dropping = false; // within a line too long to keep
};

// The scan of a whole text, fed in one piece.
TWineRegScan ScanWineRegistry(std::string_view text, std::vector<TWineRegWanted> wanted);
