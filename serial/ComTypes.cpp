#include "serial/ComTypes.h"

#include <array>
#include <cstddef>
#include <utility>

int32_t BaudRateValue(TBaudRate rate) {
    // Indexed by TBaudRate; brCustom has no rate of its own, the port then uses CustomBaudRate.
    static constexpr std::array<int32_t, 16> rates = {0,     110,    300,    600,   1200,  2400,
                                                      4800,  9600,   14400,  19200, 38400, 56000,
                                                      57600, 115200, 128000, 256000};
    static_assert(rates.size() == size_t(br256000) + 1, "one rate per TBaudRate");
    return size_t(rate) < rates.size() ? rates[rate] : 0;
}

namespace {

// The device numbers its event bits in its own order, not in the order of TComEvent, so the
// two are related by this table rather than by a shift.
constexpr std::array<std::pair<TComEvent, uint32_t>, 10> EventBits = {{
    {evRxChar, 0x0001},
    {evTxEmpty, 0x0004},
    {evRxFlag, 0x0002},
    {evRing, 0x0100},
    {evBreak, 0x0040},
    {evCTS, 0x0008},
    {evDSR, 0x0010},
    {evError, 0x0080},
    {evRLSD, 0x0020},
    {evRx80Full, 0x0400},
}};

} // namespace

uint32_t EventsToMask(TComEvents events) {
    uint32_t mask = 0;
    for (const auto& [event, bit] : EventBits)
        if (events.Contains(event))
            mask |= bit;
    return mask;
}

TComEvents MaskToEvents(uint32_t mask) {
    // Bits the component has no event for (EV_PERR, EV_EVENT1...) are dropped: no handler
    // could be called for them.
    TComEvents events;
    for (const auto& [event, bit] : EventBits)
        if ((mask & bit) != 0)
            events.Include(event);
    return events;
}
