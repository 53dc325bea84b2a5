#include "tools/receiver-sim/Dialogue.h"

#include <array>
#include <utility>

namespace ReceiverSim {

namespace {

const std::string STX = "\x02";
const std::string ETX = "\x03";

// The code a run's command and its end text carry; the program ends its watch on the text that
// holds "C04" or "C24", so no earlier line of a run may hold either.
const char* RunCode(TRunKind kind) {
    switch (kind) {
    case TRunKind::Flash: return "C042";
    case TRunKind::Eeprom: return "C043";
    case TRunKind::Erase: return "C044";
    case TRunKind::Firmware: return "C246";
    }
    return "C042";
}

bool Printable(char c) {
    return c >= 0x20 && c <= 0x7E;
}

struct TToken {
    std::string Bytes;
    TPortEvent::TType Type;
    TRunKind Kind;
    bool IsString1;
};

const std::array<TToken, 6>& Tokens() {
    static const std::array<TToken, 6> tokens = {{
        {kCommandString1, TPortEvent::TType::Freeze, TRunKind::Flash, true},
        {kCommandString2, TPortEvent::TType::Freeze, TRunKind::Flash, false},
        {RunCommandString(TRunKind::Flash), TPortEvent::TType::Run, TRunKind::Flash, false},
        {RunCommandString(TRunKind::Eeprom), TPortEvent::TType::Run, TRunKind::Eeprom, false},
        {RunCommandString(TRunKind::Erase), TPortEvent::TType::Run, TRunKind::Erase, false},
        {RunCommandString(TRunKind::Firmware), TPortEvent::TType::Run, TRunKind::Firmware, false},
    }};
    return tokens;
}

// The first STX-framed printable body at or after `from`, as [start, end). Bodies hold no STX,
// so frames cannot overlap and the first one found is the earliest.
std::pair<size_t, size_t> FindFrame(const std::string& buffer, size_t from) {
    for (size_t i = buffer.find('\x02', from); i != std::string::npos;
         i = buffer.find('\x02', i + 1)) {
        size_t j = i + 1;
        while (j < buffer.size() && j - i - 1 <= TCommandScanner::kMaxFrameBody &&
               Printable(buffer[j]))
            ++j;
        if (j < buffer.size() && buffer[j] == '\x03' && j > i + 1 &&
            j - i - 1 <= TCommandScanner::kMaxFrameBody)
            return {i, j + 1};
    }
    return {std::string::npos, std::string::npos};
}

} // namespace

std::string RunCommandString(TRunKind kind) {
    switch (kind) {
    case TRunKind::Flash: return STX + "C042,5" + ETX;
    case TRunKind::Eeprom: return STX + "C043,5" + ETX;
    case TRunKind::Erase: return STX + "C044,2" + ETX;
    case TRunKind::Firmware: return STX + "C246,2" + ETX;
    }
    return {};
}

const char* RunName(TRunKind kind) {
    switch (kind) {
    case TRunKind::Flash: return "FLASH";
    case TRunKind::Eeprom: return "EEPROM";
    case TRunKind::Erase: return "erase";
    case TRunKind::Firmware: return "FIRMWARE";
    }
    return "?";
}

bool IsWrite(TRunKind kind) {
    return kind != TRunKind::Erase;
}

std::vector<TPortEvent> TCommandScanner::Feed(const char* data, size_t count) {
    std::vector<TPortEvent> events;
    m_buffer.append(data, count);
    size_t pos = 0;
    for (;;) {
        size_t tokenAt = std::string::npos;
        const TToken* token = nullptr;
        for (const TToken& candidate : Tokens()) {
            const size_t at = m_buffer.find(candidate.Bytes, pos);
            if (at < tokenAt) {
                tokenAt = at;
                token = &candidate;
            }
        }
        // A frame we do not know is reported only when it closes before the first known
        // command: a known command always wins over a frame that would swallow it.
        const auto [frameAt, frameEnd] = FindFrame(m_buffer, pos);
        if (frameAt != std::string::npos && (token == nullptr || frameEnd <= tokenAt)) {
            TPortEvent event;
            event.Type = TPortEvent::TType::Unknown;
            event.Text = m_buffer.substr(frameAt + 1, frameEnd - frameAt - 2);
            events.push_back(std::move(event));
            pos = frameEnd;
            continue;
        }
        if (token == nullptr)
            break;
        pos = tokenAt + token->Bytes.size();
        TPortEvent event;
        event.Kind = token->Kind;
        if (token->Type == TPortEvent::TType::Run) {
            event.Type = TPortEvent::TType::Run;
        } else if (token->IsString1) {
            m_haveString1 = true;
            continue;
        } else if (m_haveString1) {
            m_haveString1 = false;
            event.Type = TPortEvent::TType::Freeze;
        } else {
            event.Type = TPortEvent::TType::StrayString2;
        }
        events.push_back(std::move(event));
    }
    m_buffer.erase(0, pos);
    if (m_buffer.size() > kMaxPending)
        m_buffer.erase(0, m_buffer.size() - kMaxPending);
    return events;
}

void TCommandScanner::Reset() {
    m_buffer.clear();
    m_haveString1 = false;
}

std::string AllocationLine() {
    // Spelt as the receiver spells it: the program watches for exactly this text.
    return "Memory Alocation\r\n";
}

std::vector<TRunLine> DownloadLines(TRunKind kind, bool fail) {
    std::vector<TRunLine> lines;
    lines.push_back({"Download started\r\n"});
    const int lastStep = fail ? 50 : 100;
    for (int percent = 25; percent <= lastStep; percent += 25)
        lines.push_back({"Writing " + std::to_string(percent) + "%\r\n"});
    const std::string code = RunCode(kind);
    if (fail) {
        lines.push_back({"Failed to write block 3\r\n"});
        lines.push_back({"Write error " + code + "\r\n", true});
    } else {
        lines.push_back({"Write ok " + code + "\r\n", true});
    }
    return lines;
}

std::vector<TRunLine> EraseLines() {
    return {
        {"Erasing FLASH\r\n"},
        {"Erasing EEPROM\r\n"},
        {std::string("Erase done ") + RunCode(TRunKind::Erase) + "\r\n", true},
    };
}

} // namespace ReceiverSim
