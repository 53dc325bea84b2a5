#include "tools/receiver-sim/Transfer.h"

#include <algorithm>
#include <array>

namespace ReceiverSim {

namespace {

std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

} // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t count) {
    static const std::array<uint32_t, 256> table = MakeCrcTable();
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < count; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

size_t TImageReceiver::Feed(const char* data, size_t count) {
    size_t used = 0;
    while (used < count && m_state == TState::Header) {
        const char c = data[used++];
        if (c == '\n') {
            ParseHeader(m_header);
            break;
        }
        if (m_header.size() >= kMaxHeaderLength) {
            Fail("header too long");
            return used;
        }
        m_header.push_back(c);
    }
    if (m_state != TState::Body || used == count)
        return used;

    const size_t take = static_cast<size_t>(std::min<uint64_t>(count - used, m_size - m_received));
    m_crc = Crc32Update(m_crc, data + used, take);
    m_received += take;
    used += take;
    if (m_received == m_size) {
        m_state = TState::Complete;
        m_reply += "OK " + std::to_string(m_size) + "\n";
    } else if (m_received >= m_nextProgress) {
        m_reply += "PROGRESS " + std::to_string(m_received) + "\n";
        const uint64_t quarter = std::max<uint64_t>(m_size / 4, 1);
        m_nextProgress = (m_received / quarter + 1) * quarter;
    }
    return used;
}

void TImageReceiver::ParseHeader(const std::string& line) {
    std::string text = line;
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    static const std::string kWord = "IMAGE ";
    if (text.compare(0, kWord.size(), kWord) != 0) {
        Fail("expected IMAGE <size>");
        return;
    }
    const std::string digits = text.substr(kWord.size());
    if (digits.empty() || digits.size() > 12 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        Fail("bad size");
        return;
    }
    const uint64_t size = std::stoull(digits);
    if (size == 0 || size > kMaxImageSize) {
        Fail("size out of range");
        return;
    }
    m_size = size;
    const uint64_t quarter = std::max<uint64_t>(m_size / 4, 1);
    m_nextProgress = quarter;
    m_state = TState::Body;
}

void TImageReceiver::Fail(const std::string& reason) {
    m_state = TState::Failed;
    m_error = reason;
    m_reply += "ERROR " + reason + "\n";
}

std::string TImageReceiver::TakeReply() {
    std::string reply;
    reply.swap(m_reply);
    return reply;
}

} // namespace ReceiverSim
