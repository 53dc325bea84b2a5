#pragma once
// The vocabulary of the serial dialogue with the receiver: the messages it sends that we
// recognise, and the command strings we send. Built once with the main window, read-only after.

#include <cstdint>
#include <string>
#include <vector>

struct MessageEntry {
    std::string Bytes;       // exact bytes, no terminator; may hold control bytes
    int32_t Length = 0;      // number of bytes in Bytes, never 0
    const char* Text = "";   // the line written to the log when received or sent
    int32_t FirstAnswer = 0; // receive table only: first command index of the answer
    int32_t AnswerCount = 0; // receive table only: number of consecutive commands answered
};

using MessageTable = std::vector<MessageEntry>;

// Indexes into the receive table that the state machine acts on.
enum ReceiveIndex : int32_t { rmStartString = 0, rmFreezeAck = 1, rmCodeGeneration = 2 };

// Indexes into the command table.
enum CommandIndex : int32_t {
    cmdString1 = 0,
    cmdString2 = 1,
    cmdCheckGeneration = 2,
    cmdFlashUpdate = 3,
    cmdEepromUpdate = 4,
    cmdCleanup = 5,
    cmdFirmwareUpdate = 6,
};

// Appends the three receiver messages and the seven command strings, in table order.
void BuildMessageTables(MessageTable& receiveTable, MessageTable& commandTable);

// Index of the receive-table entry that the whole chunk equals, byte for byte, or -1.
// A message split over two chunks, or sharing a chunk with anything else, does not match.
int32_t MatchReceived(const MessageTable& receiveTable, const char* data, int32_t count);
