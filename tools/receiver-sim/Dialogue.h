#pragma once
// The receiver's side of the serial dialogue, free of any I/O: what it recognises in the bytes
// the port writes, and the text lines it answers a run with. The simulator's event loop feeds
// the scanner and paces the lines; keeping both pure lets them be checked byte for byte.

#include <cstddef>
#include <string>
#include <vector>

namespace ReceiverSim {

// What the receiver sends by itself or in answer, byte for byte.
inline const std::string kStartString = "AT\r";
inline const std::string kFreezeAck = std::string("\x02") + "S000,0" + "\x03";
// The two strings that hold the loader. Their "STX" and "ETX" are letters, not control bytes.
inline const std::string kCommandString1 = "STX,EF81";
inline const std::string kCommandString2 = "DD51,ETX";

enum class TRunKind { Flash, Eeprom, Erase, Firmware };

// The command string of a run, framed by STX and ETX: 02 "C042,5" 03 for a FLASH write.
std::string RunCommandString(TRunKind kind);
// "FLASH", "EEPROM", "erase", "FIRMWARE": for the console.
const char* RunName(TRunKind kind);
bool IsWrite(TRunKind kind);

struct TPortEvent {
    enum class TType {
        Freeze,      // both command strings have arrived: answer the freeze acknowledgement
        Run,         // a run's command string
        Unknown,     // a framed command this receiver does not know (Text holds its content)
        StrayString2 // the second command string with no first one before it
    };
    TType Type = TType::Freeze;
    TRunKind Kind = TRunKind::Flash;
    std::string Text;
};

// Finds the receiver's commands in the bytes from the port, however the port's writes were cut
// into reads. Keeps only the few trailing bytes that could still start a command, so a stream
// of garbage costs nothing.
class TCommandScanner {
public:
    // The longest tail kept between reads: an STX and the longest frame body still unclosed.
    static constexpr size_t kMaxFrameBody = 14;
    static constexpr size_t kMaxPending = 1 + kMaxFrameBody;

    std::vector<TPortEvent> Feed(const char* data, size_t count);
    // Forgets a half-received command and a lone first command string (power off or on).
    void Reset();
    size_t Pending() const { return m_buffer.size(); }

private:
    std::string m_buffer;
    bool m_haveString1 = false;
};

// One text line of a run, sent as one write.
struct TRunLine {
    std::string Text;
    bool Last = false; // the end text: the program stops watching when it sees it
};

// What a write says once the image is in: "Download started", the progress, the failure
// report if asked for, and the end text carrying the run's code ("C042", "C043", "C246").
std::vector<TRunLine> DownloadLines(TRunKind kind, bool fail);
// The first line of a write, before the image has come: the program starts its watchdog on it.
std::string AllocationLine();
// An erase from first progress line to the end text with "C044".
std::vector<TRunLine> EraseLines();

} // namespace ReceiverSim
