// The Windows form of the serial communications interface: every call is the system's own.
// What this file adds is translation between the layer's records and the system's (device
// control block, status, overlapped record) and the lifetime of the system's overlapped
// records: the system writes into one until its operation ends, so each pending operation
// gets a record of its own, at a fixed address, kept until its result has been taken or its
// device is closed, whatever happens to the caller's record in between.

#include "serial/platform/CommApi.h"

#include <cstdint>

// The numbers the layer shares with the system, taken before <windows.h> makes macros of the
// same names, and compared with the system's once it is included.
// clang-format off
#define VELL_SHARED_NUMBERS(X)                                                                  \
    X(ERROR_SUCCESS) X(ERROR_FILE_NOT_FOUND) X(ERROR_ACCESS_DENIED) X(ERROR_INVALID_HANDLE)      \
    X(ERROR_NOT_ENOUGH_MEMORY) X(ERROR_BAD_COMMAND) X(ERROR_GEN_FAILURE) X(ERROR_NOT_SUPPORTED) \
    X(ERROR_INVALID_PARAMETER) X(ERROR_OPERATION_ABORTED) X(ERROR_IO_INCOMPLETE)                \
    X(ERROR_IO_PENDING) X(WAIT_OBJECT_0) X(WAIT_TIMEOUT) X(WAIT_FAILED) X(INFINITE) X(MAXDWORD) \
    X(MAXIMUM_WAIT_OBJECTS) X(STATUS_PENDING)                                                   \
    X(EV_RXCHAR) X(EV_RXFLAG) X(EV_TXEMPTY) X(EV_CTS) X(EV_DSR) X(EV_RLSD) X(EV_BREAK)          \
    X(EV_ERR) X(EV_RING) X(EV_RX80FULL)                                                         \
    X(CE_RXOVER) X(CE_OVERRUN) X(CE_RXPARITY) X(CE_FRAME) X(CE_BREAK) X(CE_TXFULL) X(CE_IOE)    \
    X(CE_MODE) X(MS_CTS_ON) X(MS_DSR_ON) X(MS_RING_ON) X(MS_RLSD_ON)                            \
    X(SETXOFF) X(SETXON) X(SETRTS) X(CLRRTS) X(SETDTR) X(CLRDTR) X(SETBREAK) X(CLRBREAK)        \
    X(PURGE_TXABORT) X(PURGE_RXABORT) X(PURGE_TXCLEAR) X(PURGE_RXCLEAR)                         \
    X(DTR_CONTROL_DISABLE) X(DTR_CONTROL_ENABLE) X(DTR_CONTROL_HANDSHAKE)                       \
    X(RTS_CONTROL_DISABLE) X(RTS_CONTROL_ENABLE) X(RTS_CONTROL_HANDSHAKE) X(RTS_CONTROL_TOGGLE) \
    X(NOPARITY) X(ODDPARITY) X(EVENPARITY) X(MARKPARITY) X(SPACEPARITY)                         \
    X(ONESTOPBIT) X(ONE5STOPBITS) X(TWOSTOPBITS)
// clang-format on
#define VELL_LAYER_NUMBER(name) uint64_t(Platform::name),
constexpr uint64_t LayerNumbers[] = {VELL_SHARED_NUMBERS(VELL_LAYER_NUMBER)};
// The system's invalid handle is the same all-ones value, but a pointer.
constexpr Platform::HANDLE InvalidHandle = Platform::INVALID_HANDLE_VALUE;

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Function macros of <windows.h> that would rename the layer's own calls.
#undef CreateFile
#undef CreateEvent

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#define VELL_SYSTEM_NUMBER(name) uint64_t(name),
constexpr uint64_t SystemNumbers[] = {VELL_SHARED_NUMBERS(VELL_SYSTEM_NUMBER)};
static_assert(std::equal(std::begin(LayerNumbers), std::end(LayerNumbers),
                         std::begin(SystemNumbers), std::end(SystemNumbers)),
              "the layer's numbers are the system's");
static_assert(sizeof(::DWORD) == sizeof(Platform::DWORD));
static_assert(sizeof(::HANDLE) == sizeof(Platform::HANDLE));
static_assert(sizeof(::DCB) == sizeof(Platform::DCB));

namespace Platform {

namespace {

::HANDLE Sys(HANDLE handle) {
    return reinterpret_cast<::HANDLE>(handle);
}
HANDLE Layer(::HANDLE handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool Fail(DWORD error) {
    ::SetLastError(error);
    return false;
}

// One operation's system record. `event` is a handle of this file's own to the caller's
// event, so that the record can still be waited for after the caller closed its handle.
struct TSystemRecord {
    ::OVERLAPPED overlapped{};
    ::HANDLE device = nullptr;
    ::HANDLE event = nullptr;
    bool eventWait = false;      // a WaitCommEvent, not a transfer
    unsigned maskGeneration = 0; // of the device when the wait began
    TSystemRecord() = default;
    TSystemRecord(const TSystemRecord&) = delete; // a copy would close `event` twice
    TSystemRecord& operator=(const TSystemRecord&) = delete;
    ~TSystemRecord() {
        if (event != nullptr)
            ::CloseHandle(event);
    }
    bool Finished() const { return HasOverlappedIoCompleted(&overlapped); }
};
using Record = std::shared_ptr<TSystemRecord>;

// Per open device: how often its event mask was set, and the error its last event wait ended
// with by itself (not through a new mask). A device whose waits fail (under Wine, a
// pseudo-terminal's fail within milliseconds, for want of modem lines; on Windows a removed
// device's) is not waited on again until its mask is set again, so that a loop of waits
// sleeps instead of spinning.
struct TDeviceState {
    unsigned maskGeneration = 0;
    DWORD failedWaitError = ERROR_SUCCESS;
};

std::mutex RecordsMutex;
// The running (or finished, result not yet taken) operation of each caller's record.
std::map<const OVERLAPPED*, Record>& Running() {
    static std::map<const OVERLAPPED*, Record> records;
    return records;
}
// Records whose caller's record went on to another operation before this one ended (which
// the interface does not allow, but must not turn into a write to freed memory), and records
// whose operation outlived its device's close: never freed while the system may write them.
std::vector<Record>& Orphans() {
    static std::vector<Record> records;
    return records;
}
std::map<::HANDLE, TDeviceState>& Devices() {
    static std::map<::HANDLE, TDeviceState> devices;
    return devices;
}

void Forget(const OVERLAPPED* layer, const Record& record) {
    std::lock_guard lock(RecordsMutex);
    const auto found = Running().find(layer);
    if (found != Running().end() && found->second == record)
        Running().erase(found);
}

void Register(const OVERLAPPED* layer, Record record) {
    std::lock_guard lock(RecordsMutex);
    std::erase_if(Orphans(), [](const Record& r) { return r->Finished(); });
    Record& slot = Running()[layer];
    if (slot && !slot->Finished())
        Orphans().push_back(std::move(slot));
    slot = std::move(record);
}

// A serial transfer that ends by its time-out has succeeded with what it moved: the driver
// reports STATUS_TIMEOUT, a success status, which Windows' GetOverlappedResult passes as
// success and Wine's as error 1460.
bool EndedByTimeout(const ::OVERLAPPED& record) {
    return record.Internal == STATUS_TIMEOUT;
}

// Takes the result of a finished system record the way Windows does; for an event wait that
// failed by itself, remembers the failure for the device.
bool TakeResult(const TSystemRecord& record, ::DWORD& count, bool ok) {
    if (ok)
        return true;
    const DWORD error = ::GetLastError();
    if (!record.eventWait && EndedByTimeout(record.overlapped)) {
        count = ::DWORD(record.overlapped.InternalHigh);
        return true;
    }
    if (record.eventWait && error != ERROR_IO_INCOMPLETE) {
        std::lock_guard lock(RecordsMutex);
        const auto device = Devices().find(record.device);
        if (device != Devices().end() && device->second.maskGeneration == record.maskGeneration)
            device->second.failedWaitError = error;
    }
    return Fail(error);
}

// Runs one overlapped operation for the caller's record. `start` is the system call, given
// the system record. Without a caller's record the operation is waited for here, as a plain
// call would be (the device is opened for overlapped use only).
template <class Start>
bool Overlapped(HANDLE device, OVERLAPPED* layer, DWORD* transferred, bool eventWait, Start start) {
    if (transferred != nullptr)
        *transferred = 0;
    auto record = std::make_shared<TSystemRecord>();
    record->device = Sys(device);
    record->eventWait = eventWait;
    if (eventWait) {
        DWORD failed = ERROR_SUCCESS;
        {
            std::lock_guard lock(RecordsMutex);
            const TDeviceState& state = Devices()[record->device];
            record->maskGeneration = state.maskGeneration;
            failed = state.failedWaitError;
        }
        if (failed != ERROR_SUCCESS) {
            if (layer != nullptr) {
                layer->Internal = failed;
                if (layer->hEvent != 0)
                    ::ResetEvent(Sys(layer->hEvent));
            }
            return Fail(failed);
        }
    }
    ::DWORD count = 0;
    if (layer == nullptr) {
        record->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (record->event == nullptr)
            return false;
        record->overlapped.hEvent = record->event;
        bool ok = start(&record->overlapped, &count);
        if (!ok && ::GetLastError() == ERROR_IO_PENDING)
            ok = TakeResult(*record, count,
                            ::GetOverlappedResult(Sys(device), &record->overlapped, &count, TRUE));
        else if (!ok)
            ok = TakeResult(*record, count, false);
        if (ok && transferred != nullptr)
            *transferred = count;
        return ok;
    }
    if (layer->hEvent != 0 &&
        !::DuplicateHandle(::GetCurrentProcess(), Sys(layer->hEvent), ::GetCurrentProcess(),
                           &record->event, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    record->overlapped.Offset = layer->Offset;
    record->overlapped.OffsetHigh = layer->OffsetHigh;
    record->overlapped.hEvent = record->event;
    layer->Internal = STATUS_PENDING;
    layer->InternalHigh = 0;
    Register(layer, record);
    bool ok = start(&record->overlapped, &count);
    const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    if (error == ERROR_IO_PENDING)
        return false;
    Forget(layer, record);
    ::SetLastError(error);
    ok = TakeResult(*record, count, ok);
    if (ok) {
        layer->InternalHigh = count;
        layer->Internal.store(ERROR_SUCCESS, std::memory_order_release);
        if (transferred != nullptr)
            *transferred = count;
        return true;
    }
    // Failed at once: the system never took the record. Its event stays unsignalled (the
    // system reset it as the call began), so a loop that waits on it sleeps.
    layer->Internal.store(::GetLastError(), std::memory_order_release);
    if (layer->hEvent != 0)
        ::ResetEvent(Sys(layer->hEvent));
    return Fail(layer->Internal.load());
}

// The caller's record's operation has been started here and its result not yet taken.
Record RunningRecord(const OVERLAPPED* layer) {
    std::lock_guard lock(RecordsMutex);
    const auto found = Running().find(layer);
    return found != Running().end() ? found->second : nullptr;
}

// Closing a device ends its operations (cancelled, if still running); each record is freed
// once the system has finished with it.
void EndOperationsOf(::HANDLE device, std::vector<Record>& ended) {
    std::lock_guard lock(RecordsMutex);
    for (auto it = Running().begin(); it != Running().end();) {
        if (it->second->device == device) {
            ended.push_back(std::move(it->second));
            it = Running().erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = Orphans().begin(); it != Orphans().end();) {
        if ((*it)->device == device) {
            ended.push_back(std::move(*it));
            it = Orphans().erase(it);
        } else {
            ++it;
        }
    }
}

// How long a device's close waits for each cancelled operation to end before keeping its
// record for good instead.
constexpr ::DWORD CancelGrace = 2000;

// Ends the device's pending operations, whichever thread began them. CancelIoEx does so from
// Windows Vista on, and is looked up so that the program still starts on Windows XP, which has
// only CancelIo for the calling thread's own: there the close that follows ends the others, as
// a serial driver completes every pending request when the last handle to its device closes.
void CancelPending(::HANDLE device) {
    using CancelIoExCall = BOOL(WINAPI*)(::HANDLE, ::LPOVERLAPPED);
    static const auto cancelIoEx = reinterpret_cast<CancelIoExCall>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CancelIoEx")));
    if (cancelIoEx != nullptr)
        cancelIoEx(device, nullptr);
    else
        ::CancelIo(device);
}

} // namespace

DWORD GetLastError() {
    return ::GetLastError();
}
DWORD GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}
void SetLastError(DWORD error) {
    ::SetLastError(error);
}
void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

namespace {

// Why this thread's last CreateFile failed; none after one that succeeded.
std::optional<TOpenFailureReason>& LastOpenFailure() {
    thread_local std::optional<TOpenFailureReason> failure;
    return failure;
}

// The system's words for an error, on one line, without the closing period.
std::string SystemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string narrow;
    if (length > 0 && text != nullptr) {
        const int size =
            ::WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
        narrow.resize(size_t(size > 0 ? size : 0));
        if (size > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, text, int(length), narrow.data(), size, nullptr,
                                  nullptr);
    }
    if (text != nullptr)
        ::LocalFree(text);
    for (char& c : narrow)
        if (c == '\r' || c == '\n')
            c = ' ';
    while (!narrow.empty() && (narrow.back() == ' ' || narrow.back() == '.'))
        narrow.pop_back();
    return narrow.empty() ? "error " + std::to_string(error) : narrow;
}

} // namespace

HANDLE CreateFile(const char* fileName) {
    LastOpenFailure().reset();
    const std::string name = fileName != nullptr ? fileName : "";
    std::wstring wide;
    if (!name.empty()) {
        const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                                                 int(name.size()), nullptr, 0);
        if (length <= 0) {
            ::SetLastError(ERROR_FILE_NOT_FOUND); // no device has a name that is not text
            return InvalidHandle;
        }
        wide.resize(size_t(length));
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), int(name.size()),
                              wide.data(), length);
    }
    const HANDLE handle =
        Layer(::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr));
    if (handle == InvalidHandle) {
        const DWORD error = ::GetLastError();
        TOpenFailureReason reason;
        reason.path = name;
        reason.call = "CreateFile";
        // A port is opened for this program alone: another program's hold is a refusal.
        reason.kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                          ? TOpenFailureKind::Missing
                      : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                          ? TOpenFailureKind::Busy
                          : TOpenFailureKind::Other;
        reason.systemText = SystemText(error);
        LastOpenFailure() = reason;
        ::SetLastError(error);
    }
    return handle;
}

std::optional<TOpenFailureReason> OpenFailureReason() {
    return LastOpenFailure();
}

bool CloseHandle(HANDLE handle) {
    std::vector<Record> ended;
    EndOperationsOf(Sys(handle), ended);
    {
        std::lock_guard lock(RecordsMutex);
        Devices().erase(Sys(handle));
    }
    const bool anyRunning =
        std::any_of(ended.begin(), ended.end(), [](const Record& r) { return !r->Finished(); });
    if (anyRunning)
        CancelPending(Sys(handle));
    const bool closed = ::CloseHandle(Sys(handle));
    const DWORD error = ::GetLastError();
    for (Record& record : ended) {
        if (!record->Finished() && record->event != nullptr)
            ::WaitForSingleObject(record->event, CancelGrace);
        if (!record->Finished()) {
            std::lock_guard lock(RecordsMutex);
            Orphans().push_back(std::move(record));
        }
    }
    ended.clear();
    return closed || Fail(error);
}

bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
    return ::SetupComm(Sys(device), inQueue, outQueue);
}

bool SetCommState(HANDLE device, const DCB& dcb) {
    ::DCB system{};
    system.DCBlength = sizeof system;
    system.BaudRate = dcb.BaudRate;
    const DWORD flags = dcb.Flags;
    system.fBinary = (flags & DCB_BINARY) != 0;
    system.fParity = (flags & DCB_PARITY) != 0;
    system.fOutxCtsFlow = (flags & DCB_OUTX_CTS_FLOW) != 0;
    system.fOutxDsrFlow = (flags & DCB_OUTX_DSR_FLOW) != 0;
    system.fDtrControl = (flags >> DCB_DTR_CONTROL_SHIFT) & 3;
    system.fDsrSensitivity = (flags & DCB_DSR_SENSITIVITY) != 0;
    system.fTXContinueOnXoff = (flags & DCB_TX_CONTINUE_ON_XOFF) != 0;
    system.fOutX = (flags & DCB_OUTX) != 0;
    system.fInX = (flags & DCB_INX) != 0;
    system.fErrorChar = (flags & DCB_ERROR_CHAR) != 0;
    system.fNull = (flags & DCB_NULL) != 0;
    system.fRtsControl = (flags >> DCB_RTS_CONTROL_SHIFT) & 3;
    system.fAbortOnError = (flags & DCB_ABORT_ON_ERROR) != 0;
    system.XonLim = dcb.XonLim;
    system.XoffLim = dcb.XoffLim;
    system.ByteSize = dcb.ByteSize;
    system.Parity = dcb.Parity;
    system.StopBits = dcb.StopBits;
    system.XonChar = dcb.XonChar;
    system.XoffChar = dcb.XoffChar;
    system.ErrorChar = dcb.ErrorChar;
    system.EofChar = dcb.EofChar;
    system.EvtChar = dcb.EvtChar;
    return ::SetCommState(Sys(device), &system);
}

bool GetCommState(HANDLE device, DCB& dcb) {
    ::DCB system{};
    system.DCBlength = sizeof system;
    if (!::GetCommState(Sys(device), &system))
        return false;
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = system.BaudRate;
    DWORD flags = 0;
    flags |= system.fBinary ? DCB_BINARY : 0;
    flags |= system.fParity ? DCB_PARITY : 0;
    flags |= system.fOutxCtsFlow ? DCB_OUTX_CTS_FLOW : 0;
    flags |= system.fOutxDsrFlow ? DCB_OUTX_DSR_FLOW : 0;
    flags |= DWORD(system.fDtrControl) << DCB_DTR_CONTROL_SHIFT;
    flags |= system.fDsrSensitivity ? DCB_DSR_SENSITIVITY : 0;
    flags |= system.fTXContinueOnXoff ? DCB_TX_CONTINUE_ON_XOFF : 0;
    flags |= system.fOutX ? DCB_OUTX : 0;
    flags |= system.fInX ? DCB_INX : 0;
    flags |= system.fErrorChar ? DCB_ERROR_CHAR : 0;
    flags |= system.fNull ? DCB_NULL : 0;
    flags |= DWORD(system.fRtsControl) << DCB_RTS_CONTROL_SHIFT;
    flags |= system.fAbortOnError ? DCB_ABORT_ON_ERROR : 0;
    dcb.Flags = flags;
    dcb.XonLim = system.XonLim;
    dcb.XoffLim = system.XoffLim;
    dcb.ByteSize = system.ByteSize;
    dcb.Parity = system.Parity;
    dcb.StopBits = system.StopBits;
    dcb.XonChar = system.XonChar;
    dcb.XoffChar = system.XoffChar;
    dcb.ErrorChar = system.ErrorChar;
    dcb.EofChar = system.EofChar;
    dcb.EvtChar = system.EvtChar;
    return true;
}

bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) {
    ::COMMTIMEOUTS system{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                          timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                          timeouts.WriteTotalTimeoutConstant};
    return ::SetCommTimeouts(Sys(device), &system);
}

bool GetCommTimeouts(HANDLE device, COMMTIMEOUTS& timeouts) {
    ::COMMTIMEOUTS system{};
    if (!::GetCommTimeouts(Sys(device), &system))
        return false;
    timeouts = {system.ReadIntervalTimeout, system.ReadTotalTimeoutMultiplier,
                system.ReadTotalTimeoutConstant, system.WriteTotalTimeoutMultiplier,
                system.WriteTotalTimeoutConstant};
    return true;
}

bool SetCommMask(HANDLE device, DWORD mask) {
    {
        std::lock_guard lock(RecordsMutex);
        TDeviceState& state = Devices()[Sys(device)];
        ++state.maskGeneration;
        state.failedWaitError = ERROR_SUCCESS;
    }
    return ::SetCommMask(Sys(device), mask);
}

bool GetCommMask(HANDLE device, DWORD& mask) {
    ::DWORD system = 0;
    if (!::GetCommMask(Sys(device), &system))
        return false;
    mask = system;
    return true;
}

bool WaitCommEvent(HANDLE device, DWORD* eventMask, OVERLAPPED* overlapped) {
    if (eventMask == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    // The system writes the mask when the wait ends, possibly long after this call: into the
    // caller's variable itself (a DWORD of the same size).
    auto* mask = reinterpret_cast<::DWORD*>(eventMask);
    return Overlapped(device, overlapped, nullptr, true, [&](::OVERLAPPED* record, ::DWORD*) {
        return bool(::WaitCommEvent(Sys(device), mask, record));
    });
}

bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
    return Overlapped(device, overlapped, read, false, [&](::OVERLAPPED* record, ::DWORD* done) {
        return bool(::ReadFile(Sys(device), buffer, count, done, record));
    });
}

bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
               OVERLAPPED* overlapped) {
    return Overlapped(device, overlapped, written, false, [&](::OVERLAPPED* record, ::DWORD* done) {
        return bool(::WriteFile(Sys(device), buffer, count, done, record));
    });
}

bool GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, bool wait) {
    if (overlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (const Record record = RunningRecord(overlapped)) {
        ::DWORD count = 0;
        const bool ok = TakeResult(
            *record, count, ::GetOverlappedResult(Sys(device), &record->overlapped, &count, wait));
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return false;
        // Finished: the result moves to the caller's record and the system record goes.
        overlapped->InternalHigh = count;
        overlapped->Internal.store(error, std::memory_order_release);
        Forget(overlapped, record);
    }
    // Ended at once, or never started: the caller's record holds the result.
    const DWORD status = overlapped->Internal.load(std::memory_order_acquire);
    if (status == STATUS_PENDING)
        return Fail(ERROR_IO_INCOMPLETE);
    if (transferred != nullptr)
        *transferred = overlapped->InternalHigh.load();
    return status == ERROR_SUCCESS || Fail(status);
}

bool ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) {
    ::DWORD systemErrors = 0;
    ::COMSTAT system{};
    if (!::ClearCommError(Sys(device), &systemErrors, &system))
        return false;
    if (errors != nullptr)
        *errors = systemErrors;
    if (status != nullptr) {
        DWORD flags = 0;
        flags |= system.fCtsHold ? COMSTAT_CTS_HOLD : 0;
        flags |= system.fDsrHold ? COMSTAT_DSR_HOLD : 0;
        flags |= system.fRlsdHold ? COMSTAT_RLSD_HOLD : 0;
        flags |= system.fXoffHold ? COMSTAT_XOFF_HOLD : 0;
        flags |= system.fXoffSent ? COMSTAT_XOFF_SENT : 0;
        flags |= system.fEof ? COMSTAT_EOF : 0;
        flags |= system.fTxim ? COMSTAT_TXIM : 0;
        status->Flags = flags;
        status->cbInQue = system.cbInQue;
        status->cbOutQue = system.cbOutQue;
    }
    return true;
}

bool GetCommModemStatus(HANDLE device, DWORD* modemStatus) {
    ::DWORD system = 0;
    if (!::GetCommModemStatus(Sys(device), &system))
        return false;
    if (modemStatus != nullptr)
        *modemStatus = system;
    return true;
}

bool EscapeCommFunction(HANDLE device, DWORD function) {
    return ::EscapeCommFunction(Sys(device), function);
}

bool PurgeComm(HANDLE device, DWORD flags) {
    return ::PurgeComm(Sys(device), flags);
}

bool TransmitCommChar(HANDLE device, char character) {
    return ::TransmitCommChar(Sys(device), character);
}

HANDLE CreateEvent(bool manualReset, bool initialState) {
    return Layer(::CreateEventW(nullptr, manualReset, initialState, nullptr));
}

bool SetEvent(HANDLE event) {
    return ::SetEvent(Sys(event));
}

bool ResetEvent(HANDLE event) {
    return ::ResetEvent(Sys(event));
}

DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) {
    return ::WaitForSingleObject(Sys(event), milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* events, bool waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || events == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    ::HANDLE system[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i)
        system[i] = Sys(events[i]);
    return ::WaitForMultipleObjects(count, system, waitAll, milliseconds);
}

} // namespace Platform
