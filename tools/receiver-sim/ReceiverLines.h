#pragma once
// The receiver's DSR and RLSD lines, where the pseudo-terminal has modem lines to show them
// (the tests' emulated lines: VELL_MODEM_LINES names their folder). As a real receiver does:
// switched on, it raises DSR and RLSD; held in its loader, it keeps RLSD and drops DSR;
// switched off, both go. Without emulated lines every call does nothing.
//
// Threads: the simulator's one thread.

#include <memory>
#include <string>

namespace ModemLines {
class TModemLines;
}

namespace ReceiverSim {

class TReceiverLines {
public:
    // Starts the lines of the terminal at `slavePath` afresh, all down. Throws
    // std::runtime_error when the folder is named but the lines cannot be had.
    explicit TReceiverLines(const std::string& slavePath);
    ~TReceiverLines();
    TReceiverLines(const TReceiverLines&) = delete;
    TReceiverLines& operator=(const TReceiverLines&) = delete;

    // Where the lines are, for the console; empty without emulated lines.
    const std::string& Folder() const { return m_folder; }

    void SwitchedOn();
    void Frozen();
    void SwitchedOff();

private:
    std::string m_folder;
    std::unique_ptr<ModemLines::TModemLines> m_lines;
};

} // namespace ReceiverSim
