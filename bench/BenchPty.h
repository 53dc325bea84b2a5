#pragma once
// A raw pseudo-terminal pair for the benchmarks: the far end plays on the master, the stack
// being measured opens the slave by its path.

#include <cstdlib>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

struct TPty {
    TPty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            std::abort();
        path = name;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
    }
    ~TPty() {
        close(master);
        close(slave);
    }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;
    int master = -1, slave = -1;
    std::string path;
};
