#include "OpenFailureLine.h"

#include <cerrno>
#include <cstring>

namespace {

std::string Remedy(const Platform::TOpenFailure& failure) {
    if (failure.call == "owner")
        return "A virtual port must lead to a terminal of your own: choose the port on the "
               "Configuration page...";
    switch (failure.err) {
    case EACCES:
    case EPERM:
        return "You may not use this device: add your user to the dialout group (sudo usermod "
               "-aG dialout $USER, then log in again), or give it to your user with the udev "
               "rule example in the README...";
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return "Plug the adapter in (or start the program that publishes the virtual port), or "
               "choose the port on the Configuration page...";
    case EAGAIN: // also EWOULDBLOCK: the port's lock is held
    case EBUSY: {
        std::string holder = "Another program holds the port";
        if (failure.holderPid > 0) {
            holder += ": " + (failure.holderCommand.empty() ? "" : failure.holderCommand + " ") +
                      "(pid " + std::to_string(failure.holderPid) + ")";
        }
        return holder + ". Close it, then open the port again...";
    }
    case ENOTTY: return "It is no serial port: choose the port on the Configuration page...";
    default: return {};
    }
}

} // namespace

std::string OpenFailureLine(const std::string& port, const Platform::TOpenFailure& failure) {
    std::string line = "Port " + port;
    if (failure.path != port) {
        line += " (" + failure.path + ")";
    }
    line += " cannot be opened: " + std::string(std::strerror(failure.err)) + ".";
    if (const std::string remedy = Remedy(failure); !remedy.empty()) {
        line += " " + remedy;
    }
    return line;
}
