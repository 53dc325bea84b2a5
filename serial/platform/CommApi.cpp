// The Linux form of the serial communications interface: a table of handles, each a device
// engine or an event object, and the calls dispatched to them.

#include "serial/platform/CommApi.h"

#include "serial/platform/CommEngine.h"
#include "serial/platform/EventObject.h"
#include "serial/platform/EventWatch.h"
#include "serial/platform/OpenFailure.h"
#include "serial/platform/PortPaths.h"
#include "serial/platform/TermiosDevice.h"

#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <variant>

namespace Platform {

namespace {

thread_local DWORD LastError = ERROR_SUCCESS;

using Object = std::variant<std::shared_ptr<TCommEngine>, std::shared_ptr<TEventObject>>;

std::mutex TableMutex;
std::map<HANDLE, Object>& Table() {
    static std::map<HANDLE, Object> objects;
    return objects;
}
HANDLE NextHandle = 0x100; // handles are never reused while the program runs

std::atomic<TDeviceOpener> InstalledOpener{nullptr};

// Closed events kept for reuse: every transfer makes and closes one, and an eventfd costs two
// system calls to make and free. Guarded by TableMutex.
std::vector<std::shared_ptr<TEventObject>>& SpareEvents() {
    static std::vector<std::shared_ptr<TEventObject>> spare;
    return spare;
}
constexpr size_t MaxSpareEvents = 16;

HANDLE Insert(Object object) {
    std::lock_guard lock(TableMutex);
    const HANDLE handle = NextHandle++;
    Table().emplace(handle, std::move(object));
    return handle;
}

template <class T> std::shared_ptr<T> Find(HANDLE handle) {
    std::lock_guard lock(TableMutex);
    const auto found = Table().find(handle);
    if (found == Table().end())
        return nullptr;
    if (auto* object = std::get_if<std::shared_ptr<T>>(&found->second))
        return *object;
    return nullptr;
}

bool Fail(DWORD error) {
    LastError = error;
    return false;
}

bool Result(DWORD error) {
    return error == ERROR_SUCCESS ? true : Fail(error);
}

// Runs an operation that may go pending. Without an overlapped record of the caller's, it is
// waited for here, as a plain call would be.
template <class Start>
bool Overlapped(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, Start start) {
    const auto engine = Find<TCommEngine>(device);
    if (!engine)
        return Fail(ERROR_INVALID_HANDLE);
    if (overlapped == nullptr) {
        OVERLAPPED own;
        auto event = std::make_shared<TEventObject>(true, false);
        const DWORD error = start(*engine, &own, event);
        if (error != ERROR_SUCCESS && error != ERROR_IO_PENDING)
            return Fail(error);
        WaitForEvents({event}, INFINITE);
        if (transferred != nullptr)
            *transferred = own.InternalHigh.load();
        return Result(own.Internal.load(std::memory_order_acquire));
    }
    const auto event = Find<TEventObject>(overlapped->hEvent);
    if (!event)
        return Fail(ERROR_INVALID_PARAMETER);
    const DWORD error = start(*engine, overlapped, event);
    if (error == ERROR_SUCCESS && transferred != nullptr)
        *transferred = overlapped->InternalHigh.load();
    return Result(error);
}

} // namespace

DWORD GetLastError() {
    return LastError;
}
DWORD GetCurrentThreadId() {
    return DWORD(::gettid());
}

void SetLastError(DWORD error) {
    LastError = error;
}
void Sleep(DWORD milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SetDeviceOpener(TDeviceOpener opener) {
    InstalledOpener.store(opener);
}

std::optional<TOpenFailureReason> OpenFailureReason() {
    const std::optional<TOpenFailure> failure = LastOpenFailure();
    if (!failure)
        return std::nullopt;
    return ReasonOf(*failure);
}

HANDLE CreateFile(const char* fileName) {
    std::string name = fileName != nullptr ? fileName : "";
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    DWORD error = ERROR_SUCCESS;
    ClearOpenFailure(); // an installed opener's refusal leaves no system reason
    std::unique_ptr<TCommDevice> device;
    if (const TDeviceOpener opener = InstalledOpener.load())
        device = opener(name, error);
    if (!device && error == ERROR_SUCCESS)
        device = OpenTermiosDevice(DevicePathForPort(name), error);
    if (!device) {
        LastError = error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    return Insert(std::make_shared<TCommEngine>(std::move(device)));
}

size_t OpenHandleCount() {
    std::lock_guard lock(TableMutex);
    return Table().size();
}

bool CloseHandle(HANDLE handle) {
    Object object;
    {
        std::lock_guard lock(TableMutex);
        const auto found = Table().find(handle);
        if (found == Table().end())
            return Fail(ERROR_INVALID_HANDLE);
        object = std::move(found->second);
        Table().erase(found);
    }
    if (auto* engine = std::get_if<std::shared_ptr<TCommEngine>>(&object)) {
        (*engine)->Close();
    } else if (auto* event = std::get_if<std::shared_ptr<TEventObject>>(&object)) {
        // Only an event nobody else holds (no operation or wait still has it) is kept.
        std::lock_guard lock(TableMutex);
        if (event->use_count() == 1 && SpareEvents().size() < MaxSpareEvents)
            SpareEvents().push_back(std::move(*event));
    }
    return true;
}

bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->SetupComm(inQueue, outQueue)) : Fail(ERROR_INVALID_HANDLE);
}

bool SetCommState(HANDLE device, const DCB& dcb) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->SetCommState(dcb)) : Fail(ERROR_INVALID_HANDLE);
}

bool GetCommState(HANDLE device, DCB& dcb) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->GetCommState(dcb)) : Fail(ERROR_INVALID_HANDLE);
}

bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->SetCommTimeouts(timeouts)) : Fail(ERROR_INVALID_HANDLE);
}

bool GetCommTimeouts(HANDLE device, COMMTIMEOUTS& timeouts) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->GetCommTimeouts(timeouts)) : Fail(ERROR_INVALID_HANDLE);
}

bool SetCommMask(HANDLE device, DWORD mask) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->SetCommMask(mask)) : Fail(ERROR_INVALID_HANDLE);
}

bool GetCommMask(HANDLE device, DWORD& mask) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->GetCommMask(mask)) : Fail(ERROR_INVALID_HANDLE);
}

bool WaitCommEvent(HANDLE device, DWORD* eventMask, OVERLAPPED* overlapped) {
    if (eventMask == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return Overlapped(device, overlapped, nullptr,
                      [&](TCommEngine& engine, OVERLAPPED* record, const auto& event) {
                          return engine.WaitCommEvent(eventMask, record, event);
                      });
}

bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
    if (read != nullptr)
        *read = 0;
    return Overlapped(device, overlapped, read,
                      [&](TCommEngine& engine, OVERLAPPED* record, const auto& event) {
                          return engine.Read(buffer, count, read, record, event);
                      });
}

bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
               OVERLAPPED* overlapped) {
    if (written != nullptr)
        *written = 0;
    return Overlapped(device, overlapped, written,
                      [&](TCommEngine& engine, OVERLAPPED* record, const auto& event) {
                          return engine.Write(buffer, count, written, record, event);
                      });
}

bool GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, bool wait) {
    if (overlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (overlapped->Internal.load(std::memory_order_acquire) == STATUS_PENDING) {
        if (wait) {
            if (WaitForSingleObject(overlapped->hEvent, INFINITE) != WAIT_OBJECT_0)
                return false;
        } else if (const auto engine = Find<TCommEngine>(device)) {
            engine->Look(); // it may have ended without anyone waiting for it
        }
    }
    const DWORD status = overlapped->Internal.load(std::memory_order_acquire);
    if (status == STATUS_PENDING)
        return Fail(ERROR_IO_INCOMPLETE);
    if (transferred != nullptr)
        *transferred = overlapped->InternalHigh.load();
    return Result(status);
}

bool ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->ClearCommError(errors, status)) : Fail(ERROR_INVALID_HANDLE);
}

bool GetCommModemStatus(HANDLE device, DWORD* modemStatus) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->GetCommModemStatus(modemStatus)) : Fail(ERROR_INVALID_HANDLE);
}

bool EscapeCommFunction(HANDLE device, DWORD function) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->EscapeCommFunction(function)) : Fail(ERROR_INVALID_HANDLE);
}

bool PurgeComm(HANDLE device, DWORD flags) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->PurgeComm(flags)) : Fail(ERROR_INVALID_HANDLE);
}

bool TransmitCommChar(HANDLE device, char character) {
    const auto engine = Find<TCommEngine>(device);
    return engine ? Result(engine->TransmitCommChar(character)) : Fail(ERROR_INVALID_HANDLE);
}

HANDLE CreateEvent(bool manualReset, bool initialState) {
    std::shared_ptr<TEventObject> event;
    {
        std::lock_guard lock(TableMutex);
        if (!SpareEvents().empty()) {
            event = std::move(SpareEvents().back());
            SpareEvents().pop_back();
        }
    }
    if (event)
        event->Reinitialise(manualReset, initialState);
    else
        event = std::make_shared<TEventObject>(manualReset, initialState);
    if (!event->Valid()) {
        LastError = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    return Insert(std::move(event));
}

bool SetEvent(HANDLE event) {
    const auto object = Find<TEventObject>(event);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE);
    object->Set();
    return true;
}

bool ResetEvent(HANDLE event) {
    const auto object = Find<TEventObject>(event);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE);
    object->Reset();
    return true;
}

DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &event, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* events, bool waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || events == nullptr || waitAll) {
        LastError = waitAll ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER;
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<TEventObject>> objects;
    for (DWORD i = 0; i < count; ++i) {
        auto object = Find<TEventObject>(events[i]);
        if (!object) {
            LastError = ERROR_INVALID_HANDLE;
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    return WaitForEvents(std::move(objects), milliseconds);
}

std::unique_ptr<TEventWatch> WatchEvent(HANDLE event) {
    auto object = Find<TEventObject>(event);
    if (!object)
        return nullptr;
    return std::make_unique<TEventWatch>(std::vector{std::move(object)});
}

} // namespace Platform
