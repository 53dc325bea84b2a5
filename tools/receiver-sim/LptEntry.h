#pragma once
// The parallel cable's way in, for a Windows transfer program under Wine whose LPT1 is mapped
// to it: a FIFO "<port name>.lpt" beside the port link, mode 0600 in the user's private ports
// folder. A parallel cable carries the image and nothing else, so there is no header and no
// answer: the bytes a writer sends until it closes are the image.
//
// A reader is kept open at all times, so a writer's open neither fails nor waits, and it is
// read without blocking. Until the simulator reads, a writer waits on the full FIFO as on a
// receiver that is not ready yet. Used from the simulator's one thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace ReceiverSim {

class TLptEntry {
public:
    enum class TState {
        Waiting,  // no writer has closed yet
        Complete, // a writer closed after sending Received() bytes
        Empty,    // a writer closed without sending anything
        TooLarge, // a writer sent more than the largest image and then closed: dropped
    };

    // Makes the FIFO at `path` (a stale file of that name is replaced, a link never followed)
    // and opens its reader. Throws std::runtime_error.
    explicit TLptEntry(std::string path);
    // Closes the reader and removes the FIFO if it is still the one made here.
    ~TLptEntry();
    TLptEntry(const TLptEntry&) = delete;
    TLptEntry& operator=(const TLptEntry&) = delete;

    const std::string& Path() const { return m_path; }
    // To poll for input; it changes after each image.
    int Fd() const { return m_fd; }

    // One read of what is there. After Complete, Empty or TooLarge, Received() and Crc() tell
    // that image until the next read starts the next one.
    // Throws std::runtime_error when the FIFO cannot be opened again.
    TState Read();
    uint64_t Received() const { return m_received; }
    uint32_t Crc() const { return m_crc ^ 0xFFFFFFFFu; }

private:
    void Reopen();

    std::string m_path;
    ino_t m_inode = 0;
    int m_fd = -1;
    uint64_t m_received = 0;
    uint32_t m_crc = 0xFFFFFFFFu;
    bool m_tooLarge = false;
    bool m_ended = false; // the next read starts a new image
};

} // namespace ReceiverSim
