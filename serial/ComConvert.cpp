#include "serial/ComConvert.h"

#include <array>
#include <cstddef>

namespace {

// Each table is indexed by its enumeration's values, first to last.
constexpr std::array<const char*, 16> BaudRateTexts = {
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<const char*, 3> StopBitsTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, 4> DataBitsTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, 5> ParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> FlowControlTexts = {"Hardware", "Software", "None", "Custom"};

static_assert(BaudRateTexts.size() == size_t(br256000) + 1);
static_assert(StopBitsTexts.size() == size_t(sbTwoStopBits) + 1);
static_assert(DataBitsTexts.size() == size_t(dbEight) + 1);
static_assert(ParityTexts.size() == size_t(prSpace) + 1);
static_assert(FlowControlTexts.size() == size_t(fcCustom) + 1);

template <class E, size_t N> std::string ToText(const std::array<const char*, N>& texts, E value) {
    return size_t(value) < N ? texts[size_t(value)] : "";
}

// Only a-z are folded: the texts are ASCII, and the user's locale must not make "I" and "i"
// unequal (as a Turkish locale would).
std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

template <class E, size_t N>
E FromText(const std::array<const char*, N>& texts, const std::string& text, E noMatch) {
    const std::string wanted = UpperAscii(text);
    for (size_t i = 0; i < N; ++i)
        if (UpperAscii(texts[i]) == wanted)
            return E(i);
    return noMatch;
}

} // namespace

std::string BaudRateToStr(TBaudRate value) {
    return ToText(BaudRateTexts, value);
}
std::string StopBitsToStr(TStopBits value) {
    return ToText(StopBitsTexts, value);
}
std::string DataBitsToStr(TDataBits value) {
    return ToText(DataBitsTexts, value);
}
std::string ParityToStr(TParityBits value) {
    return ToText(ParityTexts, value);
}
std::string FlowControlToStr(TFlowControl value) {
    return ToText(FlowControlTexts, value);
}

TBaudRate StrToBaudRate(const std::string& text) {
    return FromText(BaudRateTexts, text, br9600);
}
TStopBits StrToStopBits(const std::string& text) {
    return FromText(StopBitsTexts, text, sbOneStopBit);
}
TDataBits StrToDataBits(const std::string& text) {
    return FromText(DataBitsTexts, text, dbEight);
}
TParityBits StrToParity(const std::string& text) {
    return FromText(ParityTexts, text, prNone);
}
TFlowControl StrToFlowControl(const std::string& text) {
    return FromText(FlowControlTexts, text, fcCustom);
}
