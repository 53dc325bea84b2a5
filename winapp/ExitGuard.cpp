#include "winapp/ExitGuard.h"

#include "winapp/WinApi.h"

namespace {

DWORD WINAPI Watch(void* closed) {
    WaitForSingleObject(HANDLE(closed), INFINITE);
    if (WaitForSingleObject(GetCurrentProcess(), TExitGuard::kSeconds * 1000) == WAIT_TIMEOUT) {
        // Not through the C library, nor ExitProcess: what holds the exit may hold their locks.
        const char line[] = "VellWriter: still not ended after its window closed; ended\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, sizeof line - 1, &written, nullptr);
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return 0;
}

} // namespace

TExitGuard::TExitGuard()
    : m_closed(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_thread(m_closed != nullptr ? CreateThread(nullptr, 0, Watch, m_closed, 0, nullptr)
                                   : nullptr) {}

TExitGuard::~TExitGuard() {
    // A normal exit ends the watching thread with the process; nothing is waited for here.
    if (m_thread != nullptr)
        CloseHandle(HANDLE(m_thread));
}

void TExitGuard::WindowClosed() {
    if (m_closed != nullptr)
        SetEvent(HANDLE(m_closed));
}
