#pragma once
// The CRC-32 of a whole image as the tests compare it with what the receiver simulator prints:
// the simulator's own (zlib's CRC-32), so that tests and simulator never disagree on it.

#include "tools/receiver-sim/Transfer.h"

#include <cstdint>
#include <string_view>

namespace TestSupport {

inline uint32_t Crc32(std::string_view bytes) {
    return ReceiverSim::Crc32Update(0xFFFFFFFFu, bytes.data(), bytes.size()) ^ 0xFFFFFFFFu;
}

} // namespace TestSupport
