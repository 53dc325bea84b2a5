#pragma once
// What the kernel knows of this process's threads: which exist, and how often each has been
// switched out. A thread that spins is switched thousands of times a second; one that sleeps
// in a wait, not at all.

#include <dirent.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/syscall.h>

inline std::set<int> ThreadIds() {
    std::set<int> ids;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.')
                ids.insert(std::stoi(entry->d_name));
        closedir(tasks);
    }
    return ids;
}

// The thread's name. Threads the toolkit starts carry names of their own; a plain std::thread
// keeps the name of the program.
inline std::string ThreadName(int thread) {
    std::ifstream comm("/proc/self/task/" + std::to_string(thread) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// With `ownWaitsOnly`, only the switches the thread made itself by waiting: a loaded machine
// preempts a thread as it likes, and that says nothing about how often the thread woke.
inline long ContextSwitches(int thread, bool ownWaitsOnly = false) {
    std::ifstream status("/proc/self/task/" + std::to_string(thread) + "/status");
    std::string line;
    long switches = 0;
    while (std::getline(status, line)) {
        const bool own = line.rfind("voluntary_ctxt_switches:", 0) == 0;
        if (own || (!ownWaitsOnly && line.rfind("nonvoluntary_ctxt_switches:", 0) == 0))
            switches += std::stol(line.substr(line.find(':') + 1));
    }
    return switches;
}

// Whether the thread is blocked in poll() (or ppoll()): a waiter that has gone to sleep.
inline bool WaitsInPoll(int thread) {
    std::ifstream syscall("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    return (syscall >> number) && (number == SYS_poll || number == SYS_ppoll);
}
