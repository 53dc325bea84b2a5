#include "serial/ComError.h"

#include <array>
#include <cstddef>
#include <string>

namespace {

// Indexed by code - 1.
constexpr std::array<const char*, 22> Messages = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set SyncMethod while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
};
static_assert(Messages.size() == size_t(CError_HasLink), "one text per TComErrorCode");

} // namespace

// An unknown code still makes a failure, with an empty text: the code itself stays readable
// through ErrorCode(), and the system code is appended as for any other, so a failure raised
// with a wrong code loses nothing the caller could have reported.
const char* ComErrorMessage(int32_t code) {
    if (code < 1 || code > int32_t(Messages.size()))
        return "";
    return Messages[size_t(code - 1)];
}

EComPort::EComPort(int32_t code, int32_t systemCode)
    : std::runtime_error(std::string(ComErrorMessage(code)) +
                         " (win error code: " + std::to_string(systemCode) + ")"),
      FErrorCode(code), FSystemErrorCode(systemCode) {}

EComPort::EComPort(int32_t code, int32_t systemCode, const TOpenFailureReason& reason)
    : EComPort(code, systemCode) {
    FReason = std::make_shared<const TOpenFailureReason>(reason);
}

EComPort::EComPort(int32_t code)
    : std::runtime_error(ComErrorMessage(code)), FErrorCode(code), FSystemErrorCode(-1) {}
