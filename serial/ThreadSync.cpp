#include "serial/ThreadSync.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

namespace ThreadSync {

namespace {

struct Request {
    const std::function<void()>* routine;
    std::thread::id requester;
    bool done = false;
    std::exception_ptr failure;
};

// The requesters whose routines run on this thread, innermost last.
thread_local std::vector<std::thread::id> Running;

struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Request*> queue;
    std::thread::id uiThread;
    std::function<void()> waker;
};

State& Shared() {
    static State state;
    return state;
}

} // namespace

void SetUiThread(std::thread::id id) {
    std::lock_guard lock(Shared().mutex);
    Shared().uiThread = id;
}

void AdoptUiThread() {
    std::lock_guard lock(Shared().mutex);
    if (Shared().uiThread == std::thread::id())
        Shared().uiThread = std::this_thread::get_id();
}

bool OnUiThread() {
    std::lock_guard lock(Shared().mutex);
    return Shared().uiThread == std::this_thread::get_id();
}

void SetWaker(std::function<void()> waker) {
    std::lock_guard lock(Shared().mutex);
    Shared().waker = std::move(waker);
}

void Synchronize(const std::function<void()>& routine) {
    if (OnUiThread()) {
        routine();
        return;
    }
    State& state = Shared();
    Request request{&routine, std::this_thread::get_id(), false, nullptr};
    std::function<void()> waker;
    {
        std::lock_guard lock(state.mutex);
        state.queue.push_back(&request);
        waker = state.waker;
    }
    state.changed.notify_all();
    if (waker)
        waker();
    std::unique_lock lock(state.mutex);
    state.changed.wait(lock, [&] { return request.done; });
    if (request.failure)
        std::rethrow_exception(request.failure);
}

bool Serving(std::thread::id requester) {
    return std::find(Running.begin(), Running.end(), requester) != Running.end();
}

void ServePending() {
    State& state = Shared();
    // A served request is marked done in the same locked step that takes the next one, so the
    // released event thread never finds this thread holding the lock.
    Request* finished = nullptr;
    for (;;) {
        Request* request = nullptr;
        {
            std::lock_guard lock(state.mutex);
            if (finished != nullptr)
                finished->done = true; // its owner may return and free it from here on
            if (!state.queue.empty()) {
                request = state.queue.front();
                state.queue.pop_front();
            }
        }
        if (finished != nullptr)
            state.changed.notify_all();
        if (request == nullptr)
            return;
        Running.push_back(request->requester);
        try {
            (*request->routine)();
        } catch (...) {
            request->failure = std::current_exception();
        }
        Running.pop_back();
        finished = request;
    }
}

void WaitUntil(const std::function<bool()>& done) {
    State& state = Shared();
    for (;;) {
        ServePending();
        std::unique_lock lock(state.mutex);
        state.changed.wait(lock, [&] { return !state.queue.empty() || done(); });
        if (state.queue.empty() && done())
            return;
    }
}

void NotifyAll() {
    { std::lock_guard lock(Shared().mutex); }
    Shared().changed.notify_all();
}

} // namespace ThreadSync
