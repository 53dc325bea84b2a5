#include "tools/receiver-sim/Console.h"

#include <cctype>
#include <cstdio>

namespace ReceiverSim {

namespace {

TCommand Invalid(const std::string& reason) {
    TCommand command;
    command.Type = TCommand::TType::Invalid;
    command.Text = reason;
    return command;
}

// A whole decimal number within [low, high]; anything else (signs, trailing junk) is refused.
bool ParseNumber(const std::string& word, long low, long high, long& value) {
    if (word.empty() || word.size() > 9)
        return false;
    for (char c : word)
        if (c < '0' || c > '9')
            return false;
    value = std::stol(word);
    return value >= low && value <= high;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

TCommand ParseCommand(const std::string& rawLine) {
    std::string line = rawLine;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    size_t start = 0;
    while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start])))
        ++start;
    line.erase(0, start);
    if (line.empty() || line[0] == '#')
        return {};

    const size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    while (!rest.empty() && rest.front() == ' ')
        rest.erase(0, 1);

    using T = TCommand::TType;
    static const struct {
        const char* Word;
        T Type;
    } plain[] = {{"help", T::Help},     {"on", T::On},         {"off", T::Off},  {"fail", T::Fail},
                 {"vanish", T::Vanish}, {"status", T::Status}, {"quit", T::Quit}};
    TCommand command;
    for (const auto& entry : plain) {
        if (word == entry.Word) {
            if (!rest.empty())
                return Invalid(word + " takes no argument");
            command.Type = entry.Type;
            return command;
        }
    }
    if (word == "stall") {
        command.Type = T::Stall;
        if (rest == "download")
            command.AfterDownload = true;
        else if (!rest.empty() && rest != "alloc")
            return Invalid("stall takes alloc or download");
        return command;
    }
    if (word == "garbage") {
        command.Type = T::Garbage;
        command.Number = kDefaultGarbage;
        if (!rest.empty() && !ParseNumber(rest, 1, kMaxGarbage, command.Number))
            return Invalid("garbage takes a byte count from 1 to " + std::to_string(kMaxGarbage));
        return command;
    }
    if (word == "split") {
        command.Type = T::Split;
        command.Number = kDefaultSplitMs;
        if (!rest.empty() && !ParseNumber(rest, 0, kMaxSplitMs, command.Number))
            return Invalid("split takes a pause from 0 to " + std::to_string(kMaxSplitMs) + " ms");
        return command;
    }
    if (word == "wait") {
        command.Type = T::Wait;
        if (!ParseNumber(rest, 0, kMaxWaitMs, command.Number))
            return Invalid("wait takes milliseconds from 0 to " + std::to_string(kMaxWaitMs));
        return command;
    }
    if (word == "expect") {
        command.Type = T::Expect;
        std::string error;
        if (rest.empty())
            return Invalid("expect takes the text to wait for");
        if (!Unescape(rest, command.Text, error))
            return Invalid(error);
        return command;
    }
    return Invalid("unknown command \"" + word + "\" (type help)");
}

bool Unescape(const std::string& text, std::string& bytes, std::string& error) {
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) {
            error = "a lone \\ ends the text";
            return false;
        }
        switch (text[i]) {
        case 'r': bytes.push_back('\r'); break;
        case 'n': bytes.push_back('\n'); break;
        case 't': bytes.push_back('\t'); break;
        case '\\': bytes.push_back('\\'); break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                error = "\\x takes two hex digits";
                return false;
            }
            bytes.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default: error = std::string("unknown escape \\") + text[i]; return false;
        }
    }
    return true;
}

std::string HexDump(const char* data, size_t count, size_t limit) {
    const size_t shown = count < limit ? count : limit;
    std::string hex;
    std::string text;
    char cell[4];
    for (size_t i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        std::snprintf(cell, sizeof cell, "%02X", byte);
        if (i > 0)
            hex += ' ';
        hex += cell;
        text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
    }
    std::string dump = hex + "  |" + text + "|";
    if (shown < count)
        dump += " ... (" + std::to_string(count) + " bytes in all)";
    return dump;
}

const char* ConsoleHelp() {
    return "Commands (one a line):\n"
           "  on              power on: send the start string \"AT\" CR\n"
           "  off             power off: forget the freeze, drop a run, stop answering\n"
           "  fail            make the next write report \"Failed to write block 3\"\n"
           "  stall [alloc|download]\n"
           "                  go silent in the next run after \"Memory Alocation\" (default)\n"
           "                  or after \"Download started\", so that the program's watchdog\n"
           "                  fires; an erase goes silent after its first line\n"
           "  garbage [N]     send N random bytes in one write (default 16, at most 4096)\n"
           "  split [MS]      send the next message in two writes, MS ms apart (default 50)\n"
           "  vanish          close the pseudo-terminal: the port disappears for good\n"
           "  status          show power, freeze and run state\n"
           "  wait MS         pause the commands that follow (for scripts)\n"
           "  expect TEXT     pause until the port has written TEXT (escapes \\r \\n \\t \\\\ "
           "\\xNN);\n"
           "                  in a script a time-out ends the simulator with exit code 1\n"
           "  help            this list\n"
           "  quit            remove the port and exit\n";
}

} // namespace ReceiverSim
