#include "ChildProcessWindows.h"

#include "BridgeProtocol.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>

namespace {

// A window's first control is its handle with this bit set: one control, one window.
constexpr Win::HWND FirstControl = Win::HWND(1) << 40;

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
    auto* process = new QProcess(this);
    process->setProgram(QString::fromStdString(commandLine));
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start();
    // The window that comes up is the program's: recorded even when the start failed, so
    // that later requests find it gone and are skipped.
    const HWND window = m_next++;
    m_windows[window] = process;
    m_foreground = window;
    if (process->waitForStarted(5000)) {
        m_startFailure.clear();
        return true;
    }
    m_startFailure = process->errorString().toStdString();
    return false;
}

Win::HWND TChildProcessWindows::GetForegroundWindow() { return m_foreground; }

bool TChildProcessWindows::CloseWindow(HWND window) { return Send(window, "minimize\n"); }

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
    case Win::WM_PASTE:
        Send(owner, PasteLine(QGuiApplication::clipboard()->text()));
        break;
    case Win::WM_CLOSE:
        if (Send(owner, "close\n")) {
            QProcess* process = Process(owner);
            process->closeWriteChannel();
            process->waitForFinished(2000);
        }
        break;
    default:
        break;
    }
    return 0;
}

bool TChildProcessWindows::IsWindow(HWND window) {
    const QProcess* process = Process(window & ~FirstControl);
    return process != nullptr && process->state() != QProcess::NotRunning;
}

void TChildProcessWindows::SetClipboardText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void TChildProcessWindows::Sleep(int milliseconds) {
    if (milliseconds > 0)
        QThread::msleep(ulong(milliseconds));
}

QByteArray TChildProcessWindows::PasteLine(const QString& text) {
    return QByteArray::fromStdString("paste " + Bridge::Escape(text.toStdString()) + '\n');
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
