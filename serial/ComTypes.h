#pragma once
// The vocabulary of the serial port component: the enumerations and sets that describe a line
// (bit rate, character frame, parity, handshake, events, modem signals, line errors).
// A set of an enumeration is a bit set in which member n is bit n.

#include <cstdint>
#include <initializer_list>

// A device or event handle of the platform layer, opaque to the component's users: they keep it
// and hand it back, never look inside. The layer's own handle type is the same integer.
using THandle = intptr_t;
constexpr THandle InvalidComHandle = -1; // no device

template <class E, class Bits = uint16_t> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members) {
        for (E member : members)
            m_bits = Bits(m_bits | Bit(member));
    }
    static constexpr TSet FromBits(Bits bits) {
        TSet set;
        set.m_bits = bits;
        return set;
    }
    constexpr Bits ToBits() const { return m_bits; }

    constexpr bool Contains(E member) const { return (m_bits & Bit(member)) != 0; }
    constexpr bool Empty() const { return m_bits == 0; }
    constexpr TSet& Include(E member) {
        m_bits = Bits(m_bits | Bit(member));
        return *this;
    }
    constexpr TSet& Exclude(E member) {
        m_bits = Bits(m_bits & ~Bit(member));
        return *this;
    }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr Bits Bit(E member) { return Bits(Bits(1) << unsigned(member)); }
    Bits m_bits = 0;
};

enum TBaudRate : uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };

enum TComEvent : uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
using TComEvents = TSet<TComEvent, uint16_t>;
constexpr TComEvents AllComEvents = {evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                     evCTS,    evDSR,     evError,  evRLSD, evRx80Full};

enum TComSignal : uint8_t { csCTS, csDSR, csRing, csRLSD };
using TComSignals = TSet<TComSignal, uint8_t>;

enum TComError : uint8_t {
    ceFrame,
    ceRxParity,
    ceOverrun,
    ceBreak,
    ceIO,
    ceMode,
    ceRxOver,
    ceTxFull
};
using TComErrors = TSet<TComError, uint8_t>;

enum TComHoldFlag : uint8_t {
    hfCtsHold,
    hfDsrHold,
    hfRlsdHold,
    hfXoffHold,
    hfXoffSent,
    hfEof,
    hfTxim
};
using TComHoldFlags = TSet<TComHoldFlag, uint8_t>;

enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TOperationKind : uint8_t { okWrite, okRead };

// The bit rate each TBaudRate selects; brCustom has none of its own (the port's custom rate).
int32_t BaudRateValue(TBaudRate rate);

// Event set to the device's event mask and back; mask bits without a member are dropped.
uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(uint32_t mask);
