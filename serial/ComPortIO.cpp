// The data path and line control of an open port: transfers started and awaited in one call
// or through an asynchronous record, the queue, line and error queries, the escape functions,
// purging, and waiting for line events without an event thread.

#include "serial/ComPort.h"
#include "serial/ComPortPlatform.h"

#include <cstring>
#include <vector>

using namespace Platform;

namespace {

[[noreturn]] void Raise(int32_t code) {
    throw EComPort(code, int32_t(GetLastError()));
}

// Releases a record however the transfer that used it ends.
struct TAsyncGuard {
    explicit TAsyncGuard(PAsync& record) : async(record) {}
    TAsyncGuard(const TAsyncGuard&) = delete; // a copy would release the record twice
    TAsyncGuard& operator=(const TAsyncGuard&) = delete;
    ~TAsyncGuard() { DoneAsync(async); }
    PAsync& async;
};

} // namespace

void InitAsync(PAsync& AsyncPtr) {
    AsyncPtr = new TAsync;
    AsyncPtr->Overlapped.hEvent = CreateEvent(true, true);
}

void DoneAsync(PAsync& AsyncPtr) {
    if (AsyncPtr == nullptr)
        return;
    CloseHandle(AsyncPtr->Overlapped.hEvent);
    delete[] AsyncPtr->DataCopy;
    delete AsyncPtr;
    AsyncPtr = nullptr;
}

// --- Transfers --------------------------------------------------------------------------------

int32_t TCustomComPort::WriteAsync(const void* Buffer, int32_t Count, PAsync& AsyncPtr) {
    if (AsyncPtr == nullptr)
        throw EComPort(CError_InvalidAsync);
    AsyncPtr->Operation = okWrite;
    delete[] AsyncPtr->DataCopy;
    AsyncPtr->DataCopy = new char[size_t(std::max(Count, 0))];
    AsyncPtr->DataSize = std::max(Count, 0);
    if (Count > 0)
        std::memcpy(AsyncPtr->DataCopy, Buffer, size_t(Count));
    DWORD written = 0;
    if (!WriteFile(FHandle, Buffer, DWORD(std::max(Count, 0)), &written, &AsyncPtr->Overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        Raise(CError_WriteFailed);
    SendSignalToLink(leTx, true);
    return int32_t(written);
}

int32_t TCustomComPort::Write(const void* Buffer, int32_t Count) {
    PAsync async = nullptr;
    InitAsync(async);
    TAsyncGuard guard{async};
    WriteAsync(Buffer, Count, async);
    return WaitForAsync(async);
}

int32_t TCustomComPort::WriteStrAsync(const std::string& Str, PAsync& AsyncPtr) {
    if (Str.empty())
        return 0;
    return WriteAsync(Str.data(), int32_t(Str.size()), AsyncPtr);
}

int32_t TCustomComPort::WriteStr(const std::string& Str) {
    PAsync async = nullptr;
    InitAsync(async);
    TAsyncGuard guard{async};
    WriteStrAsync(Str, async);
    return WaitForAsync(async);
}

int32_t TCustomComPort::ReadAsync(void* Buffer, int32_t Count, PAsync& AsyncPtr) {
    if (AsyncPtr == nullptr)
        throw EComPort(CError_InvalidAsync);
    AsyncPtr->Operation = okRead;
    DWORD read = 0;
    if (!ReadFile(FHandle, Buffer, DWORD(std::max(Count, 0)), &read, &AsyncPtr->Overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        Raise(CError_ReadFailed);
    return int32_t(read);
}

int32_t TCustomComPort::Read(void* Buffer, int32_t Count) {
    PAsync async = nullptr;
    InitAsync(async);
    TAsyncGuard guard{async};
    ReadAsync(Buffer, Count, async);
    return WaitForAsync(async);
}

int32_t TCustomComPort::ReadStrAsync(std::string& Str, int32_t Count, PAsync& AsyncPtr) {
    Str.resize(size_t(std::max(Count, 0)));
    if (Count <= 0)
        return 0;
    return ReadAsync(Str.data(), Count, AsyncPtr);
}

int32_t TCustomComPort::ReadStr(std::string& Str, int32_t Count) {
    PAsync async = nullptr;
    InitAsync(async);
    TAsyncGuard guard{async};
    ReadStrAsync(Str, Count, async);
    const int32_t read = WaitForAsync(async);
    Str.resize(size_t(std::max(read, 0)));
    return read;
}

int32_t TCustomComPort::WaitForAsync(PAsync& AsyncPtr) {
    if (AsyncPtr == nullptr)
        throw EComPort(CError_InvalidAsync);
    const int32_t failure = AsyncPtr->Operation == okWrite ? CError_WriteFailed : CError_ReadFailed;
    DWORD transferred = 0;
    if (WaitForSingleObject(AsyncPtr->Overlapped.hEvent, INFINITE) != WAIT_OBJECT_0 ||
        !GetOverlappedResult(FHandle, &AsyncPtr->Overlapped, &transferred, false))
        Raise(failure);
    if (AsyncPtr->Operation == okRead && InputCount() == 0)
        SendSignalToLink(leRx, false);
    else if (AsyncPtr->DataCopy != nullptr)
        TxNotifyLink(AsyncPtr->DataCopy, AsyncPtr->DataSize);
    return int32_t(transferred);
}

bool TCustomComPort::IsAsyncCompleted(PAsync AsyncPtr) {
    if (AsyncPtr == nullptr)
        throw EComPort(CError_InvalidAsync);
    DWORD transferred = 0;
    if (GetOverlappedResult(FHandle, &AsyncPtr->Overlapped, &transferred, false))
        return true;
    if (GetLastError() == ERROR_IO_INCOMPLETE)
        return false;
    Raise(CError_AsyncCheck);
}

void TCustomComPort::AbortAllAsync() {
    if (!PurgeComm(FHandle, PURGE_TXABORT | PURGE_RXABORT))
        Raise(CError_PurgeFailed);
}

// --- Queries and line control -----------------------------------------------------------------

namespace {

COMSTAT Status(HANDLE handle, DWORD* errors = nullptr) {
    COMSTAT status;
    DWORD ignored = 0;
    if (!ClearCommError(handle, errors != nullptr ? errors : &ignored, &status))
        Raise(CError_ClearComFailed);
    return status;
}

} // namespace

int32_t TCustomComPort::InputCount() {
    return int32_t(Status(FHandle).cbInQue);
}

int32_t TCustomComPort::OutputCount() {
    return int32_t(Status(FHandle).cbOutQue);
}

TComHoldFlags TCustomComPort::StateFlags() {
    return TComHoldFlags::FromBits(uint8_t(Status(FHandle).Flags & 0xFF));
}

TComErrors TCustomComPort::LastErrors() {
    DWORD errors = 0;
    Status(FHandle, &errors);
    TComErrors result;
    const struct {
        DWORD bit;
        TComError member;
    } table[] = {{CE_FRAME, ceFrame},   {CE_RXPARITY, ceRxParity}, {CE_OVERRUN, ceOverrun},
                 {CE_RXOVER, ceRxOver}, {CE_TXFULL, ceTxFull},     {CE_BREAK, ceBreak},
                 {CE_IOE, ceIO},        {CE_MODE, ceMode}};
    for (const auto& item : table) {
        // Parity errors count only while the port asks the driver to check parity.
        if ((errors & item.bit) && (item.member != ceRxParity || FParity->Check()))
            result.Include(item.member);
    }
    return result;
}

TComSignals TCustomComPort::Signals() {
    DWORD status = 0;
    if (!GetCommModemStatus(FHandle, &status))
        Raise(CError_ModemStatFailed);
    TComSignals signals;
    if (status & MS_CTS_ON)
        signals.Include(csCTS);
    if (status & MS_DSR_ON)
        signals.Include(csDSR);
    if (status & MS_RING_ON)
        signals.Include(csRing);
    if (status & MS_RLSD_ON)
        signals.Include(csRLSD);
    return signals;
}

namespace {

void Escape(HANDLE handle, DWORD function) {
    if (!EscapeCommFunction(handle, function))
        Raise(CError_EscapeComFailed);
}

} // namespace

void TCustomComPort::SetBreak(bool OnOff) {
    Escape(FHandle, OnOff ? SETBREAK : CLRBREAK);
}
void TCustomComPort::SetDTR(bool OnOff) {
    Escape(FHandle, OnOff ? SETDTR : CLRDTR);
}
void TCustomComPort::SetRTS(bool OnOff) {
    Escape(FHandle, OnOff ? SETRTS : CLRRTS);
}
void TCustomComPort::SetXonXoff(bool OnOff) {
    Escape(FHandle, OnOff ? SETXON : SETXOFF);
}

void TCustomComPort::ClearBuffer(bool Input, bool Output) {
    DWORD flags = 0;
    if (Input)
        flags |= PURGE_RXCLEAR;
    if (Output)
        flags |= PURGE_TXCLEAR;
    if (!PurgeComm(FHandle, flags))
        Raise(CError_PurgeFailed);
}

void TCustomComPort::TransmitChar(char Ch) {
    if (!TransmitCommChar(FHandle, Ch))
        Raise(CError_TransmitFailed);
}

void TCustomComPort::WaitForEvent(TComEvents& Events, HANDLE StopEvent, int32_t Timeout) {
    if (FThreadCreated)
        throw EComPort(CError_ThreadCreated);
    OVERLAPPED overlapped;
    overlapped.hEvent = CreateEvent(true, false);
    std::vector<HANDLE> handles{overlapped.hEvent};
    if (StopEvent != 0)
        handles.push_back(StopEvent);
    DWORD mask = 0;
    bool ok = SetCommMask(FHandle, EventsToMask(Events));
    if (ok)
        ok = WaitCommEvent(FHandle, &mask, &overlapped) || GetLastError() == ERROR_IO_PENDING;
    if (ok) {
        const DWORD signalled =
            WaitForMultipleObjects(DWORD(handles.size()), handles.data(), false, DWORD(Timeout));
        ok = signalled == WAIT_OBJECT_0 || signalled == WAIT_OBJECT_0 + 1 ||
             signalled == WAIT_TIMEOUT;
        const DWORD error = GetLastError();
        // Mask 0 ends a wait still pending; it must be over before its record goes.
        SetCommMask(FHandle, 0);
        SetLastError(error);
        if (signalled != WAIT_OBJECT_0)
            mask = 0;
    }
    const DWORD error = GetLastError();
    CloseHandle(overlapped.hEvent);
    if (!ok)
        throw EComPort(CError_WaitFailed, int32_t(error));
    Events = MaskToEvents(mask);
}
