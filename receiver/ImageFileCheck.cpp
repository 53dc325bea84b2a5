#include "receiver/ImageFileCheck.h"

#include <limits>

int32_t TImageStamp::Size32() const {
    return size > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : int32_t(size);
}

std::string NotAFileProblem(TNotAFile what) {
    static const char* const names[] = {"a pipe", "a device", "a folder", "a socket",
                                        "no regular file"};
    return "it is " + std::string(names[int(what)]) + ", not a file";
}

std::optional<std::string> SizeQuestion(int32_t kind, int32_t size) {
    const char* sentence = nullptr;
    switch (kind) {
    case 0:
        if (size != 524288)
            sentence = "Usually FLASH file has size 524288 bytes\n and writing a wrong file can "
                       "damage the receiver.\n";
        break;
    case 1:
        if (size < 1024000)
            sentence = "Usually FIRMWARE file has at least size 1024000 bytes\n and writing a "
                       "wrong file can damage the receiver.\n";
        break;
    case 2:
        if (size > 4096)
            sentence = "Usually EEPROM file has size 4096 bytes\n and writing a wrong file can "
                       "damage the receiver.\n";
        break;
    default: break;
    }
    if (sentence == nullptr)
        return std::nullopt;
    return "You have load a file with size " + std::to_string(size) + " bytes.\n" + sentence +
           "Continue anyway?";
}

const char* ReadyText(int32_t kind) {
    switch (kind) {
    case 0: return "Ready to load flash with file ";
    case 1: return "Ready to load firmware with file ";
    case 2: return "Ready to load eeprom with file ";
    default: return "";
    }
}
