#pragma once
// What the kernel counts for a process, read from /proc, and starting a program for the
// benchmarks that watch one from outside: context switches and CPU time of all its threads,
// its resident memory, the files it holds open, and a scratch folder that stands in for a
// fresh user profile.

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace BenchProc {

inline std::vector<std::string> Tasks(pid_t pid) {
    std::vector<std::string> tasks;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                tasks.push_back(folder + "/" + entry->d_name);
        closedir(dir);
    }
    return tasks;
}

// Voluntary and involuntary context switches of every thread the process has now. A thread
// that has ended takes its count with it; the benchmarks compare the process with itself
// over stretches in which no thread starts or ends (they print the thread count to show it).
inline long ContextSwitches(pid_t pid) {
    long total = 0;
    for (const std::string& task : Tasks(pid)) {
        std::ifstream status(task + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::stol(line.substr(line.find(':') + 1));
    }
    return total;
}

// The same for one thread of the process.
inline long TaskContextSwitches(pid_t pid, pid_t tid) {
    long total = 0;
    std::ifstream status("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) +
                         "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.find("ctxt_switches:") != std::string::npos)
            total += std::stol(line.substr(line.find(':') + 1));
    return total;
}

inline int ThreadCount(pid_t pid) {
    return int(Tasks(pid).size());
}

// utime + stime of the whole process, in clock ticks (threads that ended included).
inline long CpuTicks(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields after it are counted from its ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

// Time on a CPU of every thread the process has now, in nanoseconds (the scheduler's own
// account, finer than the ticks).
inline long long CpuNanos(pid_t pid) {
    long long total = 0;
    for (const std::string& task : Tasks(pid)) {
        std::ifstream schedstat(task + "/schedstat");
        long long running = 0;
        if (schedstat >> running)
            total += running;
    }
    return total;
}

inline long RssBytes(pid_t pid) {
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Whether the process holds a file descriptor on `path` (the pty slave a port opened).
inline bool HoldsOpen(pid_t pid, const std::string& path) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    bool found = false;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            char target[512];
            const ssize_t n =
                readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, size_t(n)) == path)
                found = true;
        }
        closedir(dir);
    }
    return found;
}

// A scratch folder standing in for a fresh user: its own home, settings folder and runtime
// folder (where the virtual ports are published). Removed with everything in it.
class TProfile {
public:
    TProfile() {
        char pattern[] = "/tmp/vell-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            std::abort();
        m_root = pattern;
        for (const char* sub : {"/home", "/config", "/runtime"})
            mkdir((m_root + sub).c_str(), 0700);
    }
    ~TProfile() {
        const std::string command = "rm -rf '" + m_root + "'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "cannot remove %s\n", m_root.c_str());
    }
    TProfile(const TProfile&) = delete;
    TProfile& operator=(const TProfile&) = delete;

    std::string Home() const { return m_root + "/home"; }
    std::string Config() const { return m_root + "/config"; }
    std::string Runtime() const { return m_root + "/runtime"; }
    std::string SettingsFile() const { return Config() + "/VellWriter/VellWriter.conf"; }
    std::string PortsFolder() const { return Runtime() + "/vell-writer/ports"; }

    // Points this process's user folders at the profile; programs started later inherit them.
    void Use() const {
        setenv("HOME", Home().c_str(), 1);
        setenv("XDG_CONFIG_HOME", Config().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", Runtime().c_str(), 1);
    }

private:
    std::string m_root;
};

// Starts `path` with `args` and the environment of this process plus `env` (name, value
// pairs). Its standard error goes to `errFile` when given, so that Qt's warnings do not mix
// with the table.
inline pid_t Start(const std::string& path, const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& env,
                   const std::string& errFile = {}) {
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        std::abort();
    if (pid == 0) {
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        if (!errFile.empty())
            if (std::FILE* f = std::freopen(errFile.c_str(), "a", stderr); f == nullptr)
                _exit(126);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Ends a program this benchmark started: SIGTERM, then SIGKILL after two seconds.
inline void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

inline bool StillRunning(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

} // namespace BenchProc
