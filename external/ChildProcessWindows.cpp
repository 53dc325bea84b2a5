#include "external/ChildProcessWindows.h"

#include "external/BridgeProtocol.h"
#include "external/OthersMayChange.h"

#include <QProcess>
#include <QThread>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A window's first control is its handle with this bit set: one control, one window.
constexpr Win::HWND FirstControl = Win::HWND(1) << 40;

// Why a program cannot be started, in the person's words; empty when it may be. The system's
// own words ("execve: No such file or directory") are left for what this does not foresee.
std::string UnfitProgram(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? "it does not exist" : "it cannot be reached";
    if (!S_ISREG(info.st_mode))
        return "it is not a program file";
    if (::access(path.c_str(), X_OK) != 0 || (info.st_mode & 0111) == 0)
        return "it may not be run (no permission)";
    return OthersMayChange(path);
}

} // namespace

TChildProcessWindows::TChildProcessWindows() = default;

TChildProcessWindows::~TChildProcessWindows() {
    // Transfer programs still running are left to finish on their own.
    for (auto& [window, process] : m_windows)
        process->closeWriteChannel();
}

bool TChildProcessWindows::WinExec(const std::string& commandLine, int) {
    // Programs that have ended are forgotten: their windows are gone for good, and a run a
    // day would otherwise keep every one of them for as long as Vell Writer runs.
    for (auto entry = m_windows.begin(); entry != m_windows.end();) {
        if (entry->second->state() == QProcess::NotRunning) {
            delete entry->second;
            entry = m_windows.erase(entry);
        } else {
            ++entry;
        }
    }
    const std::string unfit = UnfitProgram(commandLine);
    auto* process = new QProcess(this);
    process->setProgram(QString::fromStdString(commandLine));
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    if (unfit.empty())
        process->start();
    // The window that comes up is the program's: recorded even when the start failed, so
    // that later requests find it gone and are skipped.
    const HWND window = m_next++;
    m_windows[window] = process;
    m_foreground = window;
    if (unfit.empty() && process->waitForStarted(5000)) {
        m_startFailure.clear();
        return true;
    }
    m_startFailure = unfit.empty() ? process->errorString().toStdString() : unfit;
    return false;
}

Win::HWND TChildProcessWindows::GetForegroundWindow() {
    return m_foreground;
}

bool TChildProcessWindows::CloseWindow(HWND window) {
    return Send(window, "minimize\n");
}

Win::HWND TChildProcessWindows::GetNextDlgTabItem(HWND dialog, HWND control, bool) {
    if (control != 0 || Process(dialog) == nullptr)
        return 0;
    return dialog | FirstControl;
}

intptr_t TChildProcessWindows::SendMessage(HWND window, uint32_t message, uintptr_t,
                                           intptr_t lParam) {
    const HWND owner = window & ~FirstControl;
    switch (message) {
    case Win::WM_LBUTTONDOWN:
        Send(owner, QStringLiteral("click %1 %2\n")
                        .arg(lParam & 0xFFFF)
                        .arg((lParam >> 16) & 0xFFFF)
                        .toLatin1());
        break;
    case Win::WM_PASTE: Send(owner, PasteLine(m_clipboard)); break;
    case Win::WM_CLOSE:
        if (Send(owner, "close\n")) {
            QProcess* process = Process(owner);
            process->closeWriteChannel();
            process->waitForFinished(2000);
        }
        break;
    default: break;
    }
    return 0;
}

bool TChildProcessWindows::IsWindow(HWND window) {
    QProcess* process = Process(window & ~FirstControl);
    if (process == nullptr)
        return false;
    // The end of a child is noticed by the event loop, which may not have run since: look now,
    // without waiting.
    if (process->state() == QProcess::Running)
        process->waitForFinished(0);
    return process->state() != QProcess::NotRunning;
}

void TChildProcessWindows::SetClipboardText(const std::string& text) {
    // The paste line carries the text itself: the desktop's clipboard keeps what the user
    // copied, and the path is not shown to every program on the display.
    m_clipboard = text;
}

void TChildProcessWindows::Sleep(int milliseconds) {
    if (milliseconds > 0)
        QThread::msleep(ulong(milliseconds));
}

QByteArray TChildProcessWindows::PasteLine(const std::string& text) {
    return QByteArray::fromStdString("paste " + Bridge::Escape(text) + '\n');
}

QProcess* TChildProcessWindows::Process(HWND window) const {
    const auto found = m_windows.find(window);
    return found == m_windows.end() ? nullptr : found->second;
}

bool TChildProcessWindows::Send(HWND window, const QByteArray& line) {
    QProcess* process = Process(window);
    if (process == nullptr || process->state() != QProcess::Running)
        return false; // a window that has gone is skipped
    process->write(line);
    return process->waitForBytesWritten(2000);
}
