#include "external/WineRegistryText.h"

#include <cstdint>
#include <utility>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void PutUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xc0 | code >> 6);
        out += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += char(0xe0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3f));
        out += char(0x80 | (code & 0x3f));
    } else {
        out += char(0xf0 | code >> 18);
        out += char(0x80 | (code >> 12 & 0x3f));
        out += char(0x80 | (code >> 6 & 0x3f));
        out += char(0x80 | (code & 0x3f));
    }
}

// UTF-16 units from `\x` escapes, joined into pairs where they make one.
class TUnits {
public:
    explicit TUnits(std::string& out) : m_out(out) {}
    void Unit(uint32_t unit) {
        if (unit >= 0xdc00 && unit < 0xe000 && m_high) {
            PutUtf8(m_out, 0x10000 + ((m_high - 0xd800) << 10) + (unit - 0xdc00));
            m_high = 0;
            return;
        }
        Flush();
        if (unit >= 0xd800 && unit < 0xdc00)
            m_high = unit;
        else
            PutUtf8(m_out, unit >= 0xdc00 && unit < 0xe000 ? 0xfffd : unit);
    }
    void Byte(char c) {
        Flush();
        m_out += c;
    }
    void Flush() {
        if (m_high)
            PutUtf8(m_out, 0xfffd);
        m_high = 0;
    }

private:
    std::string& m_out;
    uint32_t m_high = 0;
};

// The escaped text at the start of `in` up to an unescaped `end`, which is taken too; nothing
// when the line ends first.
std::optional<std::string> Unescape(std::string_view& in, char end) {
    std::string out;
    TUnits units(out);
    size_t i = 0;
    for (;;) {
        if (i >= in.size())
            return std::nullopt;
        const char c = in[i++];
        if (c == end)
            break;
        if (c != '\\') {
            units.Byte(c);
            continue;
        }
        if (i >= in.size())
            return std::nullopt;
        const char e = in[i++];
        switch (e) {
        case 'a': units.Byte('\a'); break;
        case 'b': units.Byte('\b'); break;
        case 'e': units.Byte('\x1b'); break;
        case 'f': units.Byte('\f'); break;
        case 'n': units.Byte('\n'); break;
        case 'r': units.Byte('\r'); break;
        case 't': units.Byte('\t'); break;
        case 'v': units.Byte('\v'); break;
        case 'x': {
            uint32_t unit = 0;
            size_t digits = 0;
            for (; digits < 4 && i < in.size() && HexDigit(in[i]) >= 0; ++digits)
                unit = unit << 4 | uint32_t(HexDigit(in[i++]));
            if (digits == 0)
                units.Byte('x');
            else
                units.Unit(unit);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                uint32_t unit = uint32_t(e - '0');
                for (size_t digits = 1; digits < 3 && i < in.size() && in[i] >= '0' && in[i] <= '7';
                     ++digits)
                    unit = unit << 3 | uint32_t(in[i++] - '0');
                units.Unit(unit);
            } else {
                units.Byte(e);
            }
        }
    }
    units.Flush();
    in.remove_prefix(i);
    return out;
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix)
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

// A value's line: its name and its data; nothing for a line that is not one.
std::optional<std::pair<std::string, TWineRegValue>> ValueLine(std::string_view line) {
    std::string name;
    if (TakePrefix(line, "\"")) {
        auto unescaped = Unescape(line, '"');
        if (!unescaped)
            return std::nullopt;
        name = std::move(*unescaped);
    } else if (!TakePrefix(line, "@")) {
        return std::nullopt;
    }
    if (!TakePrefix(line, "="))
        return std::nullopt;
    TWineRegValue value;
    if (TakePrefix(line, "\"") || TakePrefix(line, "str(1):\"")) {
        value.Kind = TWineRegValue::EKind::Text;
    } else if (TakePrefix(line, "str(2):\"")) {
        value.Kind = TWineRegValue::EKind::Expandable;
    } else {
        return std::pair{std::move(name), std::move(value)};
    }
    auto data = Unescape(line, '"');
    if (!data || !IsBlank(line))
        return std::nullopt;
    value.Data = std::move(*data);
    return std::pair{std::move(name), std::move(value)};
}

} // namespace

TWineRegScan::TWineRegScan(std::vector<TWineRegWanted> wanted)
    : m_wanted(std::move(wanted)), m_found(m_wanted.size()), m_read(m_wanted.size()) {}

bool TWineRegScan::Done() const {
    for (bool read : m_read)
        if (!read)
            return false;
    return true;
}

bool TWineRegScan::Feed(std::string_view bytes) {
    while (!bytes.empty() && !Done()) {
        const size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!m_dropping) {
            if (m_line.size() + piece.size() > kWineRegMaxLine) {
                m_line.clear();
                m_dropping = true;
                EndSection(); // the dropped line may have begun another section
            } else {
                m_line.append(piece);
            }
        }
        if (end == std::string_view::npos)
            break;
        bytes.remove_prefix(end + 1);
        if (!m_dropping)
            Line(m_line);
        m_line.clear();
        m_dropping = false;
    }
    return !Done();
}

void TWineRegScan::End() {
    if (!m_dropping && !m_line.empty())
        Line(m_line);
    m_line.clear();
    m_dropping = false;
    EndSection();
    m_read.assign(m_read.size(), true); // what was not found is not there
}

void TWineRegScan::EndSection() {
    for (size_t i : m_inKey)
        m_read[i] = true;
    m_inKey.clear();
}

void TWineRegScan::Line(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (TakePrefix(line, "[")) {
        EndSection();
        const auto key = Unescape(line, ']');
        if (!key)
            return;
        for (size_t i = 0; i < m_wanted.size(); ++i)
            if (!m_read[i] && SameName(*key, m_wanted[i].Key))
                m_inKey.push_back(i);
        return;
    }
    if (m_inKey.empty())
        return;
    auto value = ValueLine(line);
    if (!value)
        return;
    for (size_t i : m_inKey)
        if (SameName(value->first, m_wanted[i].Value))
            m_found[i] = value->second;
}

TWineRegScan ScanWineRegistry(std::string_view text, std::vector<TWineRegWanted> wanted) {
    TWineRegScan scan(std::move(wanted));
    scan.Feed(text);
    scan.End();
    return scan;
}
