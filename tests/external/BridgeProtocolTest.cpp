#include "external/BridgeProtocol.h"

#include <gtest/gtest.h>

using namespace Bridge;

TEST(BridgeProtocolTest, RequestsSurviveTheLine) {
    const TRequest requests[] = {
        {"WinExec", {2}, "Z:\\opt\\vell writer\\Vell_par.exe", 1},
        {"GetForegroundWindow", {}, "", 2},
        {"GetNextDlgTabItem", {65570, 0, 0}, "", 3},
        {"SendMessage", {65572, 0x0201, 1, 25 | (30 << 16)}, "", 4},
        {"SendMessage", {-1, 16, 0, -5}, "", 5},
        {"SetClipboardText", {}, "Z:\\tmp\\100% Bild\nä.bin\r", 6},
        {"SetClipboardText", {}, "", 7},
        {"ExitStatus", {}, "", UINT64_MAX},
    };
    for (const TRequest& request : requests) {
        const std::string line = FormatRequest(request);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        const auto parsed = ParseRequest(line);
        ASSERT_TRUE(parsed.has_value()) << line;
        EXPECT_EQ(parsed->Number, request.Number);
        EXPECT_EQ(NumberOf(line), request.Number);
        EXPECT_EQ(parsed->Call, request.Call);
        EXPECT_EQ(parsed->Numbers, request.Numbers);
        EXPECT_EQ(parsed->Text, request.Text);
    }
}

TEST(BridgeProtocolTest, MalformedRequestsAreRefused) {
    for (const char* line :
         {"", "1 Format C:", "1 IsWindow", "1 IsWindow x", "1 IsWindow 5 6", "1 Sleep 1e3",
          "1 GetNextDlgTabItem 1 2", "1 SendMessage 1 2 3 4 5", "1 ExitStatus 1", "IsWindow 5",
          "-1 IsWindow 5", "x IsWindow 5", "18446744073709551616 IsWindow 5"})
        EXPECT_FALSE(ParseRequest(line).has_value()) << line;
    EXPECT_FALSE(ParseRequest("1 WinExec 2 " + std::string(kMaxLine, 'a')).has_value());
    EXPECT_EQ(NumberOf("IsWindow 5"), 0u);
}

TEST(BridgeProtocolTest, Answers) {
    const auto failed = ParseAnswer(FormatAnswer({0, 2, "file not found\n100%", 9}));
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->Number, 9u);
    EXPECT_EQ(failed->Value, 0);
    EXPECT_EQ(failed->Error, 2u);
    EXPECT_EQ(failed->Text, "file not found\n100%");
    EXPECT_EQ(ParseAnswer("3 -42 0")->Value, -42);
    for (const char* line : {"", "1", "1 0", "3 x 0", "3 1 -1", "-3 1 0"})
        EXPECT_FALSE(ParseAnswer(line).has_value()) << line;
    EXPECT_EQ(Unescape("50% off %zz %4"), "50% off %zz %4");
}

TEST(BridgeProtocolTest, CleanTextIsValidUtf8WithoutControlsAndBounded) {
    const std::string r = "\uFFFD";
    const struct {
        std::string text, clean;
        size_t bound;
    } cases[] = {
        {"äé € 𝄞 ok", "äé € 𝄞 ok", kMaxCleanText},
        {std::string("a\0b\nc\rd\te\x7F", 10), "a" + r + "b" + r + "c" + r + "d" + r + "e" + r,
         kMaxCleanText},
        {"\x1B[2J\xC2\x85", r + "[2J" + r, kMaxCleanText},                         // ESC, C1 NEL
        {"\xC3(\xC0\xAF\xE0\x80\xAF", r + "(" + r + r + r + r + r, kMaxCleanText}, // overlong
        {"\xED\xA0\x80|\xF4\x90\x80\x80|\xE2\x82", r + r + r + "|" + r + r + r + r + "|" + r + r,
         kMaxCleanText}, // surrogate, beyond U+10FFFF, cut short
        {"x\u202Egnp.exe", "x" + r + "gnp.exe", kMaxCleanText},
        {"abcdef", "abc…", 3},
        {"aéb", "a…", 2},
        {std::string(2000, 'a'), std::string(kMaxCleanText, 'a') + "…", kMaxCleanText},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanText(c.text, c.bound), c.clean) << c.text;
}
