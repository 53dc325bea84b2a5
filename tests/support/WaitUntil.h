#pragma once
// The one bounded wait of the tests: checks a condition until it holds or the patience runs
// out, doing one "turn" between checks (a short sleep by default; PumpUntil.h turns a Qt event
// loop). A passing test waits only as long as the thing it waits for takes; only a failing one
// waits the whole patience. Call it on the thread whose condition it is.

#include <chrono>
#include <thread>
#include <utility>

namespace TestSupport {

using namespace std::chrono_literals;
// Long enough for a loaded two-core machine; a normal wait is over in milliseconds.
inline constexpr std::chrono::milliseconds kPatience = 20s;

// True as soon as `done()` holds; false if it still does not once `patience` has passed.
template <class TDone, class TTurn>
bool WaitUntil(TDone&& done, std::chrono::milliseconds patience, TTurn&& turn) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done(); // the last turn may have brought it
        turn();
    }
    return true;
}

template <class TDone>
bool WaitUntil(TDone&& done, std::chrono::milliseconds patience = kPatience) {
    return WaitUntil(std::forward<TDone>(done), patience, [] { std::this_thread::sleep_for(5ms); });
}

} // namespace TestSupport
