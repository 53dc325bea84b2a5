#pragma once
// A thread that spends its life blocked in system calls that only a signal ends early
// (TIOCMIWAIT, tcdrain). Stop() asks it to end and sends it a signal until it has: the
// signal's handler does nothing, but it is installed without SA_RESTART, so the blocked call
// returns EINTR and the body then sees Stopping(). The thread takes no other signal; those
// belong to the application's threads. It carries a name of its own, so that it is told apart
// from the application's threads (in a debugger, in /proc).
//
// The signal is SIGRTMIN+3: a real-time signal, because neither the kernel nor the terminal
// layer ever sends one and Qt uses none; not SIGRTMIN itself, the one other libraries reach for
// first. Its handler is installed the first time such a thread starts, and the application
// must leave that signal alone.

#include "serial/platform/CommApi.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <utility>

namespace Platform {

class TInterruptibleThread {
public:
    TInterruptibleThread() = default;
    ~TInterruptibleThread() { Stop(); }
    TInterruptibleThread(const TInterruptibleThread&) = delete;
    TInterruptibleThread& operator=(const TInterruptibleThread&) = delete;

    static int WakeSignal() { return SIGRTMIN + 3; }

    // Runs `body` on a new thread named `name` (at most 15 characters). ERROR_NOT_ENOUGH_MEMORY
    // when no thread can be had.
    DWORD Start(const char* name, std::function<void()> body) {
        InstallWakeSignalHandler();
        // The mask is inherited: block every signal while creating the thread, which then
        // unblocks the wake signal alone.
        sigset_t all, previous;
        sigfillset(&all);
        ::pthread_sigmask(SIG_SETMASK, &all, &previous);
        DWORD error = ERROR_SUCCESS;
        try {
            m_thread = std::thread([this, name, body = std::move(body)] { Run(name, body); });
            // Named here as well, so that it carries its name once Start returns.
            ::pthread_setname_np(m_thread.native_handle(), name);
        } catch (const std::system_error&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return error;
    }

    // Once true, the body returns as soon as its blocked call ends.
    bool Stopping() const { return m_stop.load(); }

    // Ends the thread and waits for it; nothing when it never started or has been stopped.
    // `nudge` runs once the stop flag is set, for a body that may be waiting on something a
    // signal does not end (a condition variable): it must wake that wait.
    void Stop(const std::function<void()>& nudge = {}) {
        if (!m_thread.joinable()) {
            return;
        }
        m_stop.store(true);
        if (nudge) {
            nudge();
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        // Sent again until the thread ends: a signal that arrives after the body looked at the
        // stop flag but before it entered its call interrupts nothing.
        while (!m_done) {
            ::pthread_kill(m_thread.native_handle(), WakeSignal());
            m_ended.wait_for(lock, std::chrono::milliseconds(20));
        }
        lock.unlock();
        m_thread.join();
    }

private:
    static void IgnoreWakeSignal(int) {}

    static void InstallWakeSignalHandler() {
        static std::once_flag once;
        std::call_once(once, [] {
            struct sigaction action {};
            action.sa_handler = IgnoreWakeSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = 0;
            ::sigaction(WakeSignal(), &action, nullptr);
        });
    }

    void Run(const char* name, const std::function<void()>& body) {
        ::pthread_setname_np(::pthread_self(), name);
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, WakeSignal());
        ::pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
        body();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
        m_ended.notify_all();
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false; // under m_mutex
};

} // namespace Platform
