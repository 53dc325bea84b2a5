#include "external/TransferWindows.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool TTransferWindows::WinExec(const std::string& commandLine, int showMode) {
    m_current = IsWindowsProgram(commandLine) ? &m_wine : &m_childProcess;
    return m_current->WinExec(commandLine, showMode);
}

std::vector<std::string> TTransferWindows::StartFindings(const std::string& program) {
    return (IsWindowsProgram(program) ? m_wine : m_childProcess).StartFindings(program);
}

std::string TTransferWindows::PathProblem(const std::string& program, const std::string& path) {
    return (IsWindowsProgram(program) ? m_wine : m_childProcess).PathProblem(program, path);
}

bool TTransferWindows::IsWindowsProgram(const std::string& path) {
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0)
        return false;
    struct stat info {};
    char magic[2] = {};
    const bool windows = ::fstat(file, &info) == 0 && S_ISREG(info.st_mode) &&
                         ::read(file, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    ::close(file);
    return windows;
}
