#pragma once
// Runs a routine when the scope ends, however it ends: closing what a function opened.

#include <utility>

template <class Routine> class TScopeExit {
public:
    explicit TScopeExit(Routine routine) : m_routine(std::move(routine)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() { m_routine(); }

private:
    Routine m_routine;
};
