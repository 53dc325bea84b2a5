#include "serial/ComConvert.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Recased(std::string s, bool upper) {
    for (char& c : s)
        c = char(upper ? std::toupper(static_cast<unsigned char>(c))
                       : std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Every value's text, as shown and in other letter cases, reads back as that value.
template <class E>
void ExpectRoundTrip(E last, std::string (*toStr)(E), E (*fromStr)(const std::string&)) {
    for (int v = 0; v <= int(last); ++v) {
        const std::string text = toStr(E(v));
        ASSERT_FALSE(text.empty()) << v;
        EXPECT_EQ(fromStr(text), E(v)) << text;
        EXPECT_EQ(fromStr(Recased(text, false)), E(v)) << text;
        EXPECT_EQ(fromStr(Recased(text, true)), E(v)) << text;
    }
}

} // namespace

TEST(ComConvert, EveryTextReadsBackInAnyCase) {
    ExpectRoundTrip(br256000, BaudRateToStr, StrToBaudRate);
    ExpectRoundTrip(sbTwoStopBits, StopBitsToStr, StrToStopBits);
    ExpectRoundTrip(dbEight, DataBitsToStr, StrToDataBits);
    ExpectRoundTrip(prSpace, ParityToStr, StrToParity);
    ExpectRoundTrip(fcCustom, FlowControlToStr, StrToFlowControl);
}

TEST(ComConvert, SavedTexts) {
    EXPECT_EQ(BaudRateToStr(brCustom), "Custom");
    EXPECT_EQ(BaudRateToStr(br256000), "256000");
    EXPECT_EQ(StopBitsToStr(sbOne5StopBits), "1.5");
    EXPECT_EQ(ParityToStr(prMark), "Mark");
    EXPECT_EQ(BaudRateToStr(TBaudRate(16)), "");
}

TEST(ComConvert, TextsThatMatchNothingGiveTheUsualSetting) {
    for (const char* text : {" 19200", "115200 ", "", "9600.0", "0", "custom "})
        EXPECT_EQ(StrToBaudRate(text), br9600) << '"' << text << '"';
    for (const char* text : {"1,5", "", "1.50", "two"})
        EXPECT_EQ(StrToStopBits(text), sbOneStopBit) << '"' << text << '"';
    for (const char* text : {"", "08", "9"})
        EXPECT_EQ(StrToDataBits(text), dbEight) << '"' << text << '"';
    for (const char* text : {"", "Even ", "E"})
        EXPECT_EQ(StrToParity(text), prNone) << '"' << text << '"';
    for (const char* text : {"", "RTS/CTS", "Xon/Xoff"})
        EXPECT_EQ(StrToFlowControl(text), fcCustom) << '"' << text << '"';
    EXPECT_EQ(StrToBaudRate("custom"), brCustom);
    EXPECT_EQ(StrToFlowControl("none"), fcNone);
    EXPECT_EQ(StrToParity("sPaCe"), prSpace);
}
