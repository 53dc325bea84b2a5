#pragma once
// The one failure type of the serial port component: a numbered message from a fixed table,
// with the system's error code appended where there is one.

#include "serial/OpenFailureReason.h"

#include <cstdint>
#include <memory>
#include <stdexcept>

enum TComErrorCode : int32_t {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_InvalidAsync = 4,
    CError_PurgeFailed = 5,
    CError_AsyncCheck = 6,
    CError_SetStateFailed = 7,
    CError_TimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_EscapeComFailed = 12,
    CError_TransmitFailed = 13,
    CError_SyncMeth = 14,
    CError_EnumPortsFailed = 15,
    CError_StoreFailed = 16,
    CError_LoadFailed = 17,
    CError_RegFailed = 18,
    CError_LedStateFailed = 19,
    CError_ThreadCreated = 20,
    CError_WaitFailed = 21,
    CError_HasLink = 22,
};

class EComPort : public std::runtime_error {
public:
    // The table text followed by " (win error code: <systemCode>)".
    EComPort(int32_t code, int32_t systemCode);
    // A port that would not open, with why when the system said so.
    EComPort(int32_t code, int32_t systemCode, const TOpenFailureReason& reason);
    // The table text alone; SystemErrorCode is -1.
    explicit EComPort(int32_t code);

    int32_t ErrorCode() const { return FErrorCode; }
    int32_t SystemErrorCode() const { return FSystemErrorCode; }
    // Why the port would not open; null for every other failure, and for a refusal the system
    // gave no reason for.
    const TOpenFailureReason* OpenFailureReason() const { return FReason.get(); }

private:
    int32_t FErrorCode;
    int32_t FSystemErrorCode;
    // Shared, so that copying the failure as it is thrown cannot itself fail.
    std::shared_ptr<const TOpenFailureReason> FReason;
};

// The table text of a code, empty for a code outside 1..22.
const char* ComErrorMessage(int32_t code);
