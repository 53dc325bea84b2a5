#pragma once
// The image channel: the transfer program hands the receiver its memory image over a Unix
// stream socket beside the virtual port, as the bulk cable does for the real receiver.
//
//   client -> "IMAGE <size>\n" then exactly <size> bytes
//   server -> "PROGRESS <received>\n" ... (at each quarter of a large image; may be ignored)
//   server -> "OK <size>\n" once every byte is in, then closes the connection
//   server -> "ERROR <reason>\n" on a malformed header or a second client, then closes
//
// This file holds the stream parser; the simulator owns the sockets.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ReceiverSim {

// CRC-32 as zlib and `crc32` compute it, so a person can check an image by hand.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t count);

class TImageReceiver {
public:
    // No receiver memory is this large; a bigger size is a broken header, not an image.
    static constexpr uint64_t kMaxImageSize = 256ull * 1024 * 1024;
    static constexpr size_t kMaxHeaderLength = 64;

    enum class TState { Header, Body, Complete, Failed };

    // Takes bytes from the connection; returns how many it used (the rest follow the image and
    // are none of its business). Lines to send back collect in Reply().
    size_t Feed(const char* data, size_t count);

    TState State() const { return m_state; }
    uint64_t Size() const { return m_size; }
    uint64_t Received() const { return m_received; }
    uint32_t Crc() const { return m_crc ^ 0xFFFFFFFFu; }
    const std::string& Error() const { return m_error; }
    // Lines not yet sent to the client; the caller takes them.
    std::string TakeReply();

private:
    void Fail(const std::string& reason);
    void ParseHeader(const std::string& line);

    TState m_state = TState::Header;
    std::string m_header;
    uint64_t m_size = 0;
    uint64_t m_received = 0;
    uint64_t m_nextProgress = 0;
    uint32_t m_crc = 0xFFFFFFFFu;
    std::string m_error;
    std::string m_reply;
};

} // namespace ReceiverSim
