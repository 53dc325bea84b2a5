#include "external/Win32Windows.h"

#include "external/WinText.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string_view>
#include <vector>
#include <windows.h>

// <windows.h> maps these to their ...W forms; here they are this class's own names.
#undef SendMessage

namespace {

::HWND ToHandle(Win::HWND window) {
    return reinterpret_cast<::HWND>(window);
}
Win::HWND ToNumber(::HWND window) {
    return reinterpret_cast<Win::HWND>(window);
}

DWORD ProcessOf(::HWND window) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process;
}

// Windows a run must never minimise or close: this process's, its console, the desktop.
bool IsOwnWindow(::HWND window) {
    return ProcessOf(window) == ::GetCurrentProcessId() || window == ::GetConsoleWindow() ||
           window == ::GetDesktopWindow() || window == ::GetShellWindow();
}

// The top-level windows of a process.
struct TWindowSearch {
    DWORD Process;
    bool Any = false; // one at least, shown or not
    ::HWND Bare = nullptr;
    ::HWND WithControls = nullptr;

    // The main window: a visible top-level window that no other window owns, one with
    // controls first (a program's first window may be a bare splash or helper window).
    ::HWND Main() const { return WithControls != nullptr ? WithControls : Bare; }
};

BOOL CALLBACK ConsiderWindow(::HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<TWindowSearch*>(context);
    if (ProcessOf(window) != search.Process)
        return TRUE;
    search.Any = true;
    if (!::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER) != nullptr)
        return TRUE;
    if (::GetWindow(window, GW_CHILD) != nullptr) {
        search.WithControls = window;
        return FALSE;
    }
    if (search.Bare == nullptr)
        search.Bare = window;
    return TRUE;
}

TWindowSearch WindowsOf(DWORD process) {
    TWindowSearch search{process};
    ::EnumWindows(&ConsiderWindow, reinterpret_cast<LPARAM>(&search));
    return search;
}

void CALLBACK WakeOnWindowEvent(HWINEVENTHOOK, DWORD, ::HWND, LONG, LONG, DWORD, DWORD) {
    // Only here to be called: the call wakes the wait below, which then looks again.
}

// Waits, bounded, until a started program shows its main window or ends. A program may seem
// idle before it has made its window (Wine's WaitForInputIdle returns while the program's
// first window is still being made when the desktop process starts up slowly), so the window
// itself is awaited: the window events of that process wake this thread, which looks each
// time. Wine reports a window's creation but not its showing, so once the program has a
// window it is looked at again every kShowRecheckMs until one is shown; so it is throughout
// where no window events can be had.
void WaitForMainWindow(HANDLE process, DWORD processId, DWORD patienceMs) {
    constexpr DWORD kShowRecheckMs = 20;
    const HWINEVENTHOOK hook =
        ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, &WakeOnWindowEvent,
                          processId, 0, WINEVENT_OUTOFCONTEXT);
    // Milliseconds since start, by unsigned difference: right across the count's wrap.
    const DWORD begun = ::GetTickCount();
    for (;;) {
        const TWindowSearch found = WindowsOf(processId);
        const DWORD waited = ::GetTickCount() - begun;
        if (found.Main() != nullptr || waited >= patienceMs)
            break;
        DWORD wait = patienceMs - waited;
        if (found.Any || hook == nullptr)
            wait = std::min(wait, kShowRecheckMs);
        const DWORD woken = ::MsgWaitForMultipleObjects(1, &process, FALSE, wait, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
            break; // the program has ended
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&message);
    }
    if (hook != nullptr)
        ::UnhookWinEvent(hook);
}

// A click's point, moved into the control's client area when it lies outside.
LPARAM PointInside(::HWND control, LPARAM point) {
    RECT client{};
    if (!::GetClientRect(control, &client) || client.right <= 0 || client.bottom <= 0)
        return point;
    const int x = std::clamp(int(short(LOWORD(point))), 0, int(client.right) - 1);
    const int y = std::clamp(int(short(HIWORD(point))), 0, int(client.bottom) - 1);
    return MAKELPARAM(x, y);
}

// Here, outside the class, HWND is the system's handle type that the macro casts to.
const ::HWND kMessageOnlyParent = HWND_MESSAGE;

bool OpenClipboardSoon(::HWND owner) {
    // Another program may hold the clipboard for a moment; there is nothing to wait on.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (::OpenClipboard(owner))
            return true;
        ::Sleep(20);
    }
    return false;
}

} // namespace

TWin32Windows::~TWin32Windows() {
    ForgetProgram();
}

bool TWin32Windows::WinExec(const std::string& commandLine, int showMode) {
    ForgetProgram();
    const std::optional<std::wstring> wide = WidenExact(commandLine);
    if (!wide || wide->empty() || wide->size() >= 32767 || showMode < 0 || showMode > SW_MAX)
        return StartFailed(ERROR_INVALID_PARAMETER);

    // The command line is the path of a program file, spaces and all, and names only that
    // program: a missing one is refused here, since the system would read an unquoted path
    // with a space as a shorter program's path and arguments.
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return StartFailed(::GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return StartFailed(ERROR_ACCESS_DENIED);
    const std::wstring& application = *wide;
    const std::wstring line = L'"' + *wide + L'"';
    std::vector<wchar_t> mutableLine(line.begin(), line.end());
    mutableLine.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // No standard handles: the program must not hold this process's standard channels (the
    // bridge's line channel) open. Without STARTF_USESTDHANDLES Wine hands the program this
    // process's own, handles inherited or not.
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = WORD(showMode);
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nullptr;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(application.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &started))
        return StartFailed(::GetLastError());
    ::CloseHandle(started.hThread);
    m_program = started.hProcess;
    m_programId = started.dwProcessId;
    // As WinExec does: back once the program waits for input, that is once its window is up.
    const DWORD begun = ::GetTickCount();
    ::WaitForInputIdle(started.hProcess, kInputIdleMs);
    const DWORD waited = ::GetTickCount() - begun;
    WaitForMainWindow(started.hProcess, started.dwProcessId,
                      DWORD(waited < kInputIdleMs ? kInputIdleMs - waited : 0));
    m_startFailure.clear();
    m_lastError = 0;
    return true;
}

bool TWin32Windows::StartFailed(uint32_t error) {
    m_lastError = error;
    m_startFailure = SystemErrorText(error);
    return false;
}

void TWin32Windows::ForgetProgram() {
    if (m_program != nullptr)
        ::CloseHandle(m_program);
    m_program = nullptr;
    m_programId = 0;
}

Win::HWND TWin32Windows::GetForegroundWindow() {
    ::HWND front = ::GetForegroundWindow();
    ::HWND chosen = nullptr;
    if (m_program != nullptr) {
        // The process handle held open keeps its id from going to another program.
        chosen = front != nullptr && ProcessOf(front) == m_programId
                     ? front
                     : WindowsOf(m_programId).Main();
    }
    m_lastError = chosen != nullptr ? 0 : ERROR_INVALID_WINDOW_HANDLE;
    return ToNumber(chosen);
}

bool TWin32Windows::CloseWindow(HWND window) {
    ::HWND target = ToHandle(window);
    if (::IsWindow(target) && IsOwnWindow(target)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    ::SetLastError(0);
    const bool done = ::CloseWindow(target) != FALSE;
    m_lastError = done ? 0 : ::GetLastError();
    return done;
}

Win::HWND TWin32Windows::GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
    ::SetLastError(0);
    ::HWND next = ::GetNextDlgTabItem(ToHandle(dialog), ToHandle(control), previous);
    m_lastError = next != nullptr ? 0 : ::GetLastError();
    return ToNumber(next);
}

intptr_t TWin32Windows::SendMessage(HWND window, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam) {
    ::HWND target = ToHandle(window);
    if (!::IsWindow(target)) {
        m_lastError = ERROR_INVALID_WINDOW_HANDLE; // gone: skipped
        return 0;
    }
    if (IsOwnWindow(target)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return 0;
    }
    if (message == WM_LBUTTONDOWN)
        lParam = PointInside(target, lParam);
    DWORD_PTR result = 0;
    ::SetLastError(0);
    if (!::SendMessageTimeoutW(target, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &result)) {
        const DWORD error = ::GetLastError();
        m_lastError = error != 0 ? error : ERROR_TIMEOUT;
        return 0;
    }
    m_lastError = 0;
    return intptr_t(result);
}

bool TWin32Windows::IsWindow(HWND window) {
    const bool exists = ::IsWindow(ToHandle(window)) != FALSE;
    m_lastError = exists ? 0 : ERROR_INVALID_WINDOW_HANDLE;
    return exists;
}

bool TWin32Windows::PutClipboardText(const std::string& text) {
    const std::optional<std::wstring> wide = WidenExact(text);
    if (!wide) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const size_t bytes = (wide->size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* data = memory != nullptr ? ::GlobalLock(memory) : nullptr;
    if (data == nullptr) {
        m_lastError = ::GetLastError();
        if (memory != nullptr)
            ::GlobalFree(memory);
        return false;
    }
    std::copy_n(wide->c_str(), wide->size() + 1, static_cast<wchar_t*>(data));
    ::GlobalUnlock(memory);

    // The clipboard's owner is a window made for this text alone and destroyed at once: the
    // data needs an owner to be placed, and a live owner would be sent WM_DESTROYCLIPBOARD by
    // the next program that empties the clipboard, holding that program up while this one
    // waits for its next request.
    ::HWND owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, kMessageOnlyParent, nullptr,
                                     nullptr, nullptr);
    if (owner == nullptr || !OpenClipboardSoon(owner)) {
        m_lastError = ::GetLastError();
        ::GlobalFree(memory);
        if (owner != nullptr)
            ::DestroyWindow(owner);
        return false;
    }
    ::EmptyClipboard();
    const bool placed = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    m_lastError = placed ? 0 : ::GetLastError();
    if (!placed)
        ::GlobalFree(memory); // the clipboard owns it only once placed
    ::CloseClipboard();
    ::DestroyWindow(owner);
    return placed;
}

void TWin32Windows::Sleep(int milliseconds) {
    ::Sleep(DWORD(std::clamp(milliseconds, 0, kMaxSleepMs)));
    m_lastError = 0;
}

std::optional<uint32_t> TWin32Windows::ExitStatus() {
    DWORD status = 0;
    if (m_program == nullptr || !::GetExitCodeProcess(m_program, &status)) {
        m_lastError = m_program == nullptr ? ERROR_INVALID_HANDLE : ::GetLastError();
        return std::nullopt;
    }
    m_lastError = 0;
    // A program may end with this very number; it is then read as still running, as Windows
    // itself cannot tell the two apart here.
    if (status == STILL_ACTIVE)
        return std::nullopt;
    return uint32_t(status);
}
