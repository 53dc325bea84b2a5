#include "receiver/MessageTables.h"

#include <gtest/gtest.h>

namespace {

class MessageTablesTest : public testing::Test {
protected:
    void SetUp() override { BuildMessageTables(receive, command); }

    int32_t Match(const std::string& chunk) const {
        return MatchReceived(receive, chunk.data(), int32_t(chunk.size()));
    }

    MessageTable receive;
    MessageTable command;
};

struct Expected {
    std::string bytes;
    const char* text;
};

TEST_F(MessageTablesTest, ReceiveTableHoldsTheReceiverMessagesInOrder) {
    const Expected expected[] = {
        {"\x41\x54\x0D", "Received start string..."},
        {"\x02\x53\x30\x30\x30\x2C\x30\x03", "Receiver \"freeze\"..."},
        {"\x02\x43\x30\x34\x36\x2C", "Receiver send code generation..."},
    };
    ASSERT_EQ(receive.size(), 3u);
    for (size_t i = 0; i < receive.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(receive[i].Bytes, expected[i].bytes);
        EXPECT_EQ(receive[i].Length, int32_t(expected[i].bytes.size()));
        EXPECT_STREQ(receive[i].Text, expected[i].text);
    }
    // The start string is answered with command strings 0 and 1; the others get no answer.
    EXPECT_EQ(receive[0].FirstAnswer, 0);
    EXPECT_EQ(receive[0].AnswerCount, 2);
    EXPECT_EQ(receive[1].AnswerCount, 0);
    EXPECT_EQ(receive[2].AnswerCount, 0);
}

TEST_F(MessageTablesTest, CommandTableHoldsTheCommandStringsInOrder) {
    const Expected expected[] = {
        {"\x53\x54\x58\x2C\x45\x46\x38\x31", "Sending command string 1..."},
        {"\x44\x44\x35\x31\x2C\x45\x54\x58", "Sending command string 2..."},
        {"\x02\x43\x30\x34\x36\x2C\x30\x03", "Sending check generation string..."},
        {"\x02\x43\x30\x34\x32\x2C\x35\x03", "Sending flash updating string..."},
        {"\x02\x43\x30\x34\x33\x2C\x35\x03", "Sending eeprom updating string..."},
        {"\x02\x43\x30\x34\x34\x2C\x32\x03", "Sending cleanup string..."},
        {"\x02\x43\x32\x34\x36\x2C\x32\x03", "Sending firmware updating string..."},
    };
    ASSERT_EQ(command.size(), 7u);
    for (size_t i = 0; i < command.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(command[i].Bytes, expected[i].bytes);
        EXPECT_EQ(command[i].Length, 8);
        EXPECT_STREQ(command[i].Text, expected[i].text);
    }
    EXPECT_EQ(command[cmdFlashUpdate].Bytes, std::string("\x02"
                                                         "C042,5"
                                                         "\x03"));
    EXPECT_EQ(command[cmdFirmwareUpdate].Bytes, std::string("\x02"
                                                            "C246,2"
                                                            "\x03"));
}

TEST_F(MessageTablesTest, MatchesOnlyWholeChunksByteForByte) {
    const struct {
        std::string chunk;
        int32_t index;
    } cases[] = {
        {std::string("\x41\x54\x0D"), 0},
        {std::string("\x02\x53\x30\x30\x30\x2C\x30\x03"), 1},
        {std::string("\x02\x43\x30\x34\x36\x2C"), 2},
        {std::string("\x41\x54\x0D\x0A"), -1},                 // start string followed by LF
        {std::string("\x41\x54"), -1},                         // first half of a split start string
        {std::string("\x0D"), -1},                             // its second half
        {std::string("\x02\x43\x30\x34\x36\x2C\x30\x03"), -1}, // command string 2 echoed
        {std::string("\x41\x54\x0D\x41\x54\x0D"), -1},         // two messages in one chunk
        {std::string(" AT\r"), -1},                            // a byte before the message
        {std::string("at\r"), -1},                             // no case folding
        {std::string("\x02S000,0\x02"), -1},                   // last byte differs
        {std::string("STX,EF81"), -1}, // our own command string is not a message
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(testing::PrintToString(item.chunk));
        EXPECT_EQ(Match(item.chunk), item.index);
    }
}

TEST_F(MessageTablesTest, EmptyOrNegativeChunkMatchesNothing) {
    EXPECT_EQ(MatchReceived(receive, nullptr, 0), -1);
    EXPECT_EQ(MatchReceived(receive, "AT\r", -3), -1);
}

TEST_F(MessageTablesTest, EntriesOwnTheirBytes) {
    // A chunk compared against the table may be any buffer; the table keeps its own copy.
    std::string chunk = "AT\r";
    EXPECT_EQ(Match(chunk), 0);
    chunk[0] = 'X';
    EXPECT_EQ(receive[0].Bytes, "AT\r");
}

} // namespace
