#include "receiver/MessageTables.h"

#include <cstring>

namespace {

MessageEntry Entry(std::string bytes, const char* text, int32_t firstAnswer = 0,
                   int32_t answerCount = 0) {
    MessageEntry entry;
    entry.Length = static_cast<int32_t>(bytes.size());
    entry.Bytes = std::move(bytes);
    entry.Text = text;
    entry.FirstAnswer = firstAnswer;
    entry.AnswerCount = answerCount;
    return entry;
}

// The string literals are split where a hex escape would otherwise swallow the next character.
const std::string STX = "\x02";
const std::string ETX = "\x03";

} // namespace

void BuildMessageTables(MessageTable& receiveTable, MessageTable& commandTable) {
    receiveTable.push_back(Entry("AT\r", "Received start string...", 0, 2));
    receiveTable.push_back(Entry(STX + "S000,0" + ETX, "Receiver \"freeze\"...", 0, 0));
    receiveTable.push_back(Entry(STX + "C046,", "Receiver send code generation...", 0, 0));

    // Strings 1 and 2 are plain text: their "STX" and "ETX" are letters, not control bytes.
    commandTable.push_back(Entry("STX,EF81", "Sending command string 1..."));
    commandTable.push_back(Entry("DD51,ETX", "Sending command string 2..."));
    commandTable.push_back(Entry(STX + "C046,0" + ETX, "Sending check generation string..."));
    commandTable.push_back(Entry(STX + "C042,5" + ETX, "Sending flash updating string..."));
    commandTable.push_back(Entry(STX + "C043,5" + ETX, "Sending eeprom updating string..."));
    commandTable.push_back(Entry(STX + "C044,2" + ETX, "Sending cleanup string..."));
    commandTable.push_back(Entry(STX + "C246,2" + ETX, "Sending firmware updating string..."));
}

int32_t MatchReceived(const MessageTable& receiveTable, const char* data, int32_t count) {
    for (size_t index = 0; index < receiveTable.size(); ++index) {
        const MessageEntry& entry = receiveTable[index];
        if (entry.Length != count)
            continue;
        if (std::memcmp(entry.Bytes.data(), data, static_cast<size_t>(count)) == 0)
            return static_cast<int32_t>(index);
    }
    return -1;
}
