#pragma once
// What the port component hands the platform layer, kept out of ComPort.h so that the port's
// users see no platform type: the asynchronous record's overlapped block, and the device
// control block the port's settings describe. For serial/ and its tests only.
//
// Threads: as ComPort.h; a record belongs to one thread at a time.

#include "serial/ComPort.h"
#include "serial/platform/CommApi.h"

#include <type_traits>

static_assert(std::is_same_v<THandle, Platform::HANDLE>, "the opaque handle is the layer's");
static_assert(InvalidComHandle == Platform::INVALID_HANDLE_VALUE);

// The record of one overlapped read or write (see InitAsync in ComPort.h).
struct TAsync {
    Platform::OVERLAPPED Overlapped;
    TOperationKind Operation = okWrite;
    char* DataCopy = nullptr; // private copy of the bytes being written
    int32_t DataSize = 0;
};

// The device control block the port's settings describe (flag word 0x2021 for the receiver
// port).
Platform::DCB BuildDCB(const TCustomComPort& port);
