#pragma once
// The one child-process runner of the tests: a program started with posix_spawn (found on the
// PATH when its name has no slash), in this process's environment with some variables set or
// removed. Its standard input is a pipe from the test or /dev/null; its standard output a pipe
// to the test or a file; its standard error the same as its output or /dev/null. The test's
// ends of the pipes are close-on-exec, so that no other child holds them. The child is killed
// and reaped when the object goes, if it has not ended before; every wait is bounded. Use an
// object from one thread.

#include "tests/support/WaitUntil.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace TestSupport {

// Variables to set, or to remove (no value), on top of this process's environment.
using TEnvironment = std::map<std::string, std::optional<std::string>>;

struct TChildStreams {
    bool inputPipe = false;  // else /dev/null
    bool outputPipe = false; // else into outputFile
    std::string outputFile = "/dev/null";
    bool appendOutput = true;   // to what the file holds already, else the file starts empty
    bool errorToOutput = false; // else /dev/null
};

class TChildProcess {
public:
    TChildProcess(const std::vector<std::string>& args, const TEnvironment& environment,
                  const TChildStreams& streams = {}) {
        int input[2] = {-1, -1};
        int output[2] = {-1, -1};
        if ((streams.inputPipe && ::pipe2(input, O_CLOEXEC) != 0) ||
            (streams.outputPipe && ::pipe2(output, O_CLOEXEC) != 0))
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (streams.inputPipe)
            posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (streams.outputPipe)
            posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(
                &actions, STDOUT_FILENO, streams.outputFile.c_str(),
                O_WRONLY | O_CREAT | (streams.appendOutput ? O_APPEND : O_TRUNC), 0600);
        if (streams.errorToOutput)
            posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

        std::vector<std::string> argStrings = args;
        std::vector<std::string> envStrings = Environment(environment);
        const int error = ::posix_spawnp(&m_pid, argStrings.at(0).c_str(), &actions, nullptr,
                                         Pointers(argStrings).data(), Pointers(envStrings).data());
        posix_spawn_file_actions_destroy(&actions);
        for (int end : {input[0], output[1]})
            if (end >= 0)
                ::close(end);
        m_input = input[1];
        m_output = output[0];
        if (error != 0) {
            m_pid = -1;
            Close();
            throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(error));
        }
    }
    ~TChildProcess() {
        Close();
        Kill();
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    // The test's end of the output pipe, to poll beside other sources.
    int Output() const { return m_output; }

    // All of `text` into its input; false once it no longer reads it.
    bool Write(const std::string& text) {
        size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::write(m_input, text.data() + sent, text.size() - sent);
            if (n <= 0 && errno != EINTR)
                return false;
            sent += n > 0 ? size_t(n) : 0;
        }
        return true;
    }
    void CloseInput() {
        if (m_input >= 0)
            ::close(m_input);
        m_input = -1;
    }

    // The next line of its output without the line feed; none on a time-out or at its end.
    std::optional<std::string> ReadLine(std::chrono::milliseconds patience = kPatience) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        size_t end;
        while ((end = m_got.find('\n')) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{m_output, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, int(left.count())) <= 0)
                return std::nullopt;
            char buffer[4096];
            const ssize_t n = ::read(m_output, buffer, sizeof buffer);
            if (n <= 0)
                return std::nullopt;
            m_got.append(buffer, size_t(n));
        }
        std::string line = m_got.substr(0, end);
        m_got.erase(0, end + 1);
        return line;
    }
    // What its output holds now, without waiting (what ReadLine has taken but not returned
    // first).
    std::string ReadAvailable() {
        char buffer[4096];
        for (pollfd ready{m_output, POLLIN, 0}; ::poll(&ready, 1, 0) == 1;) {
            const ssize_t n = ::read(m_output, buffer, sizeof buffer);
            if (n <= 0)
                break;
            m_got.append(buffer, size_t(n));
        }
        return std::exchange(m_got, {});
    }
    // Whether its output has ended (every holder of the pipe's write end has let go).
    bool OutputEnds(std::chrono::milliseconds patience) {
        pollfd ready{m_output, POLLIN, 0};
        char byte;
        return ::poll(&ready, 1, int(patience.count())) == 1 && ::read(m_output, &byte, 1) == 0;
    }

    bool Running() {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, WNOHANG) != m_pid)
            return m_pid > 0;
        m_pid = -1;
        m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    void Signal(int signal) {
        if (m_pid > 0)
            ::kill(m_pid, signal);
    }
    // The exit code; -1 if it ended by a signal, or did not end in time (it is then killed).
    int WaitExit(std::chrono::milliseconds patience = kPatience) {
        if (!WaitUntil([this] { return !Running(); }, patience,
                       [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); })) {
            Kill();
            return -1;
        }
        return m_exit;
    }
    void Kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
        m_exit = -1;
    }

private:
    static std::vector<std::string> Environment(const TEnvironment& changes) {
        std::map<std::string, std::string> all;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const size_t equals = text.find('=');
            if (equals != std::string::npos)
                all[text.substr(0, equals)] = text.substr(equals + 1);
        }
        for (const auto& [name, value] : changes)
            if (value)
                all[name] = *value;
            else
                all.erase(name);
        std::vector<std::string> entries;
        for (const auto& [name, value] : all)
            entries.push_back(name + "=" + value);
        return entries;
    }
    static std::vector<char*> Pointers(std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (std::string& text : strings)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
        return pointers;
    }
    void Close() {
        CloseInput();
        if (m_output >= 0)
            ::close(m_output);
        m_output = -1;
    }

    pid_t m_pid = -1;
    int m_exit = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_got;
};

} // namespace TestSupport
