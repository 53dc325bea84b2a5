#pragma once
// A /tmp-like folder of the test's own (sticky, writable by all), named by TMPDIR with no
// XDG_RUNTIME_DIR, so the ports folder falls back into it and never into the real /tmp. With
// Plant(), the user nobody (through setpriv) makes this user's fallback ports folder first and
// plants a port link to its own pseudo-terminal and a transfer socket (support/plant_ports.py).
// Needs root; the environment is put back at the end.

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

class TPrivateTmp {
public:
    TPrivateTmp() {
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
            if (const char* value = std::getenv(name))
                m_saved.emplace_back(name, value);
        m_path = (std::filesystem::temp_directory_path() / "vell-tmp-XXXXXX").string();
        if (::mkdtemp(m_path.data()) == nullptr)
            m_path.clear();
        ::chmod(m_path.c_str(), 01777);
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("TMPDIR", m_path.c_str(), 1);
    }
    ~TPrivateTmp() {
        if (m_planter > 0) {
            ::close(m_hold);
            ::waitpid(m_planter, nullptr, 0);
        }
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
        ::unsetenv("TMPDIR");
        for (const auto& [name, value] : m_saved)
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    TPrivateTmp(const TPrivateTmp&) = delete;
    TPrivateTmp& operator=(const TPrivateTmp&) = delete;

    const std::string& Path() const { return m_path; }
    // This user's fallback ports folder here.
    std::string Ports() const {
        return m_path + "/vell-writer-" + std::to_string(::getuid()) + "/ports";
    }

    // True once nobody has planted the folder.
    bool Plant() {
        std::ifstream file(VELL_PLANT_SCRIPT);
        std::stringstream script;
        script << file.rdbuf();
        // Close-on-exec: a program the test starts must not hold the planter open.
        int toPlanter[2], fromPlanter[2];
        if (::pipe2(toPlanter, O_CLOEXEC) != 0 || ::pipe2(fromPlanter, O_CLOEXEC) != 0)
            return false;
        const std::string uid = std::to_string(::getuid());
        m_planter = ::fork();
        if (m_planter == 0) {
            ::dup2(toPlanter[0], 0);
            ::dup2(fromPlanter[1], 1);
            for (int fd : {toPlanter[0], toPlanter[1], fromPlanter[0], fromPlanter[1]})
                ::close(fd);
            ::execl("/usr/bin/setpriv", "setpriv", "--reuid=nobody", "--regid=nogroup",
                    "--clear-groups", "/usr/bin/python3", "-c", script.str().c_str(),
                    m_path.c_str(), uid.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toPlanter[0]);
        ::close(fromPlanter[1]);
        m_hold = toPlanter[1];
        std::string said;
        char c = 0;
        while (said.size() < 16 && ::read(fromPlanter[0], &c, 1) == 1 && c != '\n')
            said += c;
        const bool ready = said == "ready";
        ::close(fromPlanter[0]);
        return ready;
    }
    // Bytes the planted transfer socket has taken so far.
    long Stolen() const {
        std::ifstream file(m_path + "/stolen");
        long count = -1;
        file >> count;
        return count;
    }

private:
    std::string m_path;
    std::vector<std::pair<std::string, std::string>> m_saved;
    pid_t m_planter = -1;
    int m_hold = -1;
};
