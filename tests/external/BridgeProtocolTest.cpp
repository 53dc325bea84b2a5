#include "external/BridgeProtocol.h"

#include <gtest/gtest.h>

using namespace Bridge;

TEST(BridgeProtocolTest, RequestsSurviveTheLine) {
    const TRequest requests[] = {
        {"WinExec", {2}, "Z:\\opt\\vell writer\\Vell_par.exe"},
        {"GetForegroundWindow", {}, ""},
        {"GetNextDlgTabItem", {65570, 0, 0}, ""},
        {"SendMessage", {65572, 0x0201, 1, 25 | (30 << 16)}, ""},
        {"SendMessage", {-1, 16, 0, -5}, ""},
        {"SetClipboardText", {}, "Z:\\tmp\\100% Bild\nä.bin\r"},
        {"SetClipboardText", {}, ""},
        {"ExitStatus", {}, ""},
    };
    for (const TRequest& request : requests) {
        const std::string line = FormatRequest(request);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        const auto parsed = ParseRequest(line);
        ASSERT_TRUE(parsed.has_value()) << line;
        EXPECT_EQ(parsed->Call, request.Call);
        EXPECT_EQ(parsed->Numbers, request.Numbers);
        EXPECT_EQ(parsed->Text, request.Text);
    }
}

TEST(BridgeProtocolTest, MalformedRequestsAreRefused) {
    for (const char* line : {"", "Format C:", "IsWindow", "IsWindow x", "IsWindow 5 6", "Sleep 1e3",
                             "GetNextDlgTabItem 1 2", "SendMessage 1 2 3 4 5", "ExitStatus 1"})
        EXPECT_FALSE(ParseRequest(line).has_value()) << line;
    EXPECT_FALSE(ParseRequest("WinExec 2 " + std::string(kMaxLine, 'a')).has_value());
}

TEST(BridgeProtocolTest, Answers) {
    const auto failed = ParseAnswer(FormatAnswer({0, 2, "file not found\n100%"}));
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->Value, 0);
    EXPECT_EQ(failed->Error, 2u);
    EXPECT_EQ(failed->Text, "file not found\n100%");
    EXPECT_EQ(ParseAnswer("-42 0")->Value, -42);
    for (const char* line : {"", "1", "x 0", "1 -1"})
        EXPECT_FALSE(ParseAnswer(line).has_value()) << line;
    EXPECT_EQ(Unescape("50% off %zz %4"), "50% off %zz %4");
}
