#pragma once
// A /tmp-like folder of the test's own (sticky, writable by all), named by TMPDIR with no
// XDG_RUNTIME_DIR, so the ports folder falls back into it and never into the real /tmp. With
// Plant(), the user nobody (through setpriv) makes this user's fallback ports folder first and
// plants a port link to its own pseudo-terminal and a transfer socket (support/plant_ports.py).
// Needs root; the environment is put back at the end.

#include "tests/support/ChildProcess.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
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
        if (m_planter) {
            m_planter->CloseInput(); // the planter ends when its input does
            m_planter->WaitExit();
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
        m_planter = std::make_unique<TestSupport::TChildProcess>(
            std::vector<std::string>{"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                     "--clear-groups", "/usr/bin/python3", "-c", script.str(),
                                     m_path, std::to_string(::getuid())},
            TestSupport::TEnvironment{},
            TestSupport::TChildStreams{.inputPipe = true, .outputPipe = true});
        return m_planter->ReadLine() == "ready";
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
    std::unique_ptr<TestSupport::TChildProcess> m_planter; // holds the planted folder
};
