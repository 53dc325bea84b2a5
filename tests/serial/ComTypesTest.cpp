#include "serial/ComTypes.h"

#include "serial/ComConvert.h"
#include "serial/platform/CommApi.h"

#include <gtest/gtest.h>
#include <string>

// The rate table and the display table are written separately; they must name the same rates.
TEST(BaudRateValue, AgreesWithTheDisplayedRate) {
    EXPECT_EQ(BaudRateValue(brCustom), 0);
    for (int r = br110; r <= br256000; ++r)
        EXPECT_EQ(std::to_string(BaudRateValue(TBaudRate(r))), BaudRateToStr(TBaudRate(r))) << r;
}

TEST(EventMask, EachEventMapsToTheDeviceBit) {
    const struct {
        TComEvent event;
        uint32_t bit;
    } cases[] = {
        {evRxChar, Platform::EV_RXCHAR}, {evTxEmpty, Platform::EV_TXEMPTY},
        {evRxFlag, Platform::EV_RXFLAG}, {evRing, Platform::EV_RING},
        {evBreak, Platform::EV_BREAK},   {evCTS, Platform::EV_CTS},
        {evDSR, Platform::EV_DSR},       {evError, Platform::EV_ERR},
        {evRLSD, Platform::EV_RLSD},     {evRx80Full, Platform::EV_RX80FULL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EventsToMask({c.event}), c.bit) << int(c.event);
        EXPECT_EQ(MaskToEvents(c.bit), TComEvents{c.event}) << int(c.event);
    }
}

TEST(EventMask, EverySubsetSurvivesTheRoundTrip) {
    for (uint16_t bits = 0; bits < 1024; ++bits) {
        const TComEvents events = TComEvents::FromBits(bits);
        EXPECT_EQ(MaskToEvents(EventsToMask(events)), events) << bits;
    }
    EXPECT_EQ(MaskToEvents(EventsToMask(AllComEvents)), AllComEvents);
}

TEST(EventMask, BitsWithoutAnEventAreDropped) {
    EXPECT_TRUE(MaskToEvents(0x0200).Empty());
    EXPECT_TRUE(MaskToEvents(0x1000).Empty());
    EXPECT_TRUE(MaskToEvents(0xFFFFF800u | 0x0200).Empty());
    EXPECT_EQ(MaskToEvents(0x0200 | Platform::EV_RING), TComEvents{evRing});
}
