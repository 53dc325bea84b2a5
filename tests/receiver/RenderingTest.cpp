#include "receiver/Rendering.h"

#include <gtest/gtest.h>

namespace {

std::string Printable(const std::string& bytes) {
    return PrintableText(bytes.data(), int(bytes.size()));
}
std::string Plain(const std::string& bytes) {
    return PlainText(bytes.data(), int(bytes.size()));
}
std::string Render(const std::string& bytes, bool full) {
    return RenderBytes(bytes.data(), int(bytes.size()), full);
}

TEST(RenderingTest, PrintableTextKeepsOnly0x10To0xC0) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += char(byte);
    const std::string text = Printable(all);
    ASSERT_EQ(text.size(), 256u);
    for (int byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const char expected = (byte < 0x10 || byte > 0xC0) ? '.' : char(byte);
        EXPECT_EQ(text[size_t(byte)], expected);
    }
}

TEST(RenderingTest, PlainTextMakesLinesAndSpaces) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"AT\r", "AT "},
        {"Hi\r\n!", "Hi \n!"}, // CR LF: a space and a line feed
        {"\n\rA", "\nA"},      // LF CR: one line feed
        {"a\n\r\rb", "a\n b"}, // only the CR right after the LF is dropped
        {"\n", "\n"},          // a trailing LF stays
        {"\x15", " "},         // control bytes below 0x20 become spaces
        {"\xC0", "\xC0"},      // the highest kept byte
        {"\xC1\xFF", "  "},    // above it: spaces
        {std::string("a\0b", 3), "a b"},
        {"", ""},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(testing::PrintToString(item.bytes));
        EXPECT_EQ(Plain(item.bytes), item.text);
    }
}

TEST(RenderingTest, PrintableAndPlainDifferOnLowControlBytes) {
    EXPECT_EQ(Printable("\x15"), "\x15");
    EXPECT_EQ(Plain("\x15"), " ");
    EXPECT_EQ(Printable("\xC1"), ".");
    EXPECT_EQ(Plain("\xC1"), " ");
}

TEST(RenderingTest, FullRenderingAppendsCountAndHex) {
    EXPECT_EQ(Render("AT\r", true), "AT. (3 bytes: 41 54 0D )");
    EXPECT_EQ(Render("\x02S000,0\x03", true), ".S000,0. (8 bytes: 02 53 30 30 30 2C 30 03 )");
    EXPECT_EQ(Render("Hi\r\n!", true), "Hi..! (5 bytes: 48 69 0D 0A 21 )");
    EXPECT_EQ(Render("\xFF\xab", true), ".\xAB (2 bytes: FF AB )");
    EXPECT_EQ(Render("", true), " (0 bytes: )");
}

TEST(RenderingTest, ShortRenderingIsPlainText) {
    EXPECT_EQ(Render("AT\r", false), "AT ");
    EXPECT_EQ(Render("Hi\r\n!", false), "Hi \n!");
}

} // namespace
