#include "receiver/OpenFailureLine.h"

namespace {

std::string Remedy(const TOpenFailureReason& reason) {
    switch (reason.kind) {
    case TOpenFailureKind::NotOwn:
        return "A virtual port must lead to a terminal of your own: choose the port on the "
               "Configuration page...";
    case TOpenFailureKind::Permission:
        return "You may not use this device: add your user to the dialout group (sudo usermod "
               "-aG dialout $USER, then log in again), or give it to your user with the udev "
               "rule example in the README...";
    case TOpenFailureKind::Missing:
        return "Plug the adapter in (or start the program that publishes the virtual port), or "
               "choose the port on the Configuration page...";
    case TOpenFailureKind::Busy: {
        std::string holder = "Another program holds the port";
        if (reason.holderPid > 0) {
            holder += ": " + (reason.holderCommand.empty() ? "" : reason.holderCommand + " ") +
                      "(pid " + std::to_string(reason.holderPid) + ")";
        }
        return holder + ". Close it, then open the port again...";
    }
    case TOpenFailureKind::NotATerminal:
        return "It is no serial port: choose the port on the Configuration page...";
    case TOpenFailureKind::Other: break;
    }
    return {};
}

// What to do about the programs that take USB adapters, one sentence each.
std::string DaemonAdvice(const TPortDaemons& daemons) {
    std::string advice;
    if (daemons.modemManager) {
        advice += " ModemManager is running and may be probing the port: give the adapter the "
                  "udev rule's ID_MM_DEVICE_IGNORE tag (see the README), or stop ModemManager.";
    }
    if (daemons.brltty) {
        advice += " brltty is running and may take USB serial adapters for a braille display: "
                  "remove it (sudo apt remove brltty) or stop it.";
    }
    return advice;
}

} // namespace

std::string OpenFailureLine(const std::string& port, const TOpenFailureReason& reason) {
    std::string line = "Port " + port;
    if (reason.path != port) {
        line += " (" + reason.path + ")";
    }
    line += " cannot be opened: " + reason.systemText + ".";
    if (const std::string remedy = Remedy(reason); !remedy.empty()) {
        line += " " + remedy;
    }
    return line + DaemonAdvice(reason.daemons);
}
