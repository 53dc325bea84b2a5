#include "ThreadSync.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace ThreadSync {

namespace {

struct Request {
    const std::function<void()>* routine;
    bool done = false;
    std::exception_ptr failure;
};

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
    Request request{&routine, false, nullptr};
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
        try {
            (*request->routine)();
        } catch (...) {
            request->failure = std::current_exception();
        }
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
