#include "tests/fuzz/FuzzWindow.h"

#include "serial/platform/OpenFailure.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Fuzz {

void DefaultFlags(int* argc, char*** argv, std::initializer_list<const char*> flags) {
    static std::vector<std::string> texts;
    static std::vector<char*> args;
    texts.assign(flags.begin(), flags.end());
    args.assign(*argv, *argv + *argc);
    // Right after the program's name: the command line's own flags come later and win.
    for (size_t i = 0; i < texts.size(); ++i)
        args.insert(args.begin() + 1 + std::ptrdiff_t(i), texts[i].data());
    *argc = int(args.size());
    args.push_back(nullptr);
    *argv = args.data();
}

// --- The logs -----------------------------------------------------------------------------------

void TFuzzLog::Append(const std::string& text) {
    // Each line feed starts a further line, a leading one too.
    size_t start = 0;
    for (;;) {
        const size_t feed = text.find('\n', start);
        const size_t end = feed == std::string::npos ? text.size() : feed;
        m_lines.push_back({m_text.size(), end - start, m_color});
        m_text.append(text, start, end - start);
        if (feed == std::string::npos)
            return;
        start = feed + 1;
    }
}

std::string TFuzzLog::Line(int index) const {
    if (index < 0 || index >= LineCount())
        return {};
    const TLine& line = m_lines[size_t(index)];
    return m_text.substr(line.start, line.length);
}

void TFuzzLog::DeleteLine(int index) {
    if (index < 0 || index >= LineCount())
        return;
    const TLine line = m_lines[size_t(index)];
    m_text.erase(line.start, line.length);
    m_lines.erase(m_lines.begin() + index);
    for (size_t i = size_t(index); i < m_lines.size(); ++i)
        m_lines[i].start -= line.length;
}

// --- The window ---------------------------------------------------------------------------------

TFuzzWindow::TFuzzWindow() {
    rec.portName = LinePort;
    rec.commandDelay = 500;
    dialogue.SetAppDir("/opt/vell-writer/");
}

void TFuzzWindow::SetToolBarEnabled(int32_t page, bool enabled) {
    FUZZ_CHECK(page >= 0 && page < 3);
    rec.SetToolBarEnabled(page, enabled);
}

// --- The user and the driver --------------------------------------------------------------------

void TFuzzWindow::ClickPortToggle(int page) {
    if (!rec.toolBarEnabled[size_t(page)])
        return;
    rec.togglesDown = !rec.togglesDown;
    Guarded([this] { dialogue.ToolButton1Click(); });
}

void TFuzzWindow::Receive(const std::string& bytes) {
    if (!rec.connected)
        return;
    rec.input = bytes;
    Guarded([&] {
        if (unplugged)
            throw EComPort(CError_ReadFailed, 5); // the count of waiting bytes cannot be read
        dialogue.DecRxChar(int32_t(bytes.size()));
    });
    rec.input.clear();
}

void TFuzzWindow::SetLines(bool dsr, bool rlsd) {
    const bool dsrChanged = dsr != dsrLine, rlsdChanged = rlsd != rlsdLine;
    dsrLine = dsr;
    rlsdLine = rlsd;
    if (!rec.connected)
        return;
    // One event: a failure drops the rest, as in the port's dispatch.
    Guarded([&] {
        if (dsrChanged) {
            ReadLines();
            ReportDsr(dsrLine);
        }
        if (rlsdChanged) {
            ReadLines();
            ReportRlsd(rlsdLine);
        }
    });
}

void TFuzzWindow::Settle() {
    if (pendingClick < 0)
        return;
    const int page = pendingClick;
    pendingClick = -1;
    ClickPortToggle(page);
}

void TFuzzWindow::TearDown() {
    rec.logsExist = false;
    Guarded([this] { ClosePort(); });
    // The port's removal notice: each lamp leaves it and shows off.
    Guarded([this] {
        dsrLamp = false;
        dialogue.ComLed3Change(false);
        rlsdLamp = false;
        dialogue.ComLed5Change(false);
    });
}

// --- The port -----------------------------------------------------------------------------------

void TFuzzWindow::LampShown() {
    Settle();
}

void TFuzzWindow::ReportConnection(bool on) {
    connLamp = on;
    LampShown();
}

void TFuzzWindow::ReportDsr(bool on) {
    // The lamp tells the window before it lets the pending events through.
    dsrLamp = on;
    dialogue.ComLed3Change(on);
    LampShown();
}

void TFuzzWindow::ReportRlsd(bool on) {
    rlsdLamp = on;
    dialogue.ComLed5Change(on);
    LampShown();
}

void TFuzzWindow::ReadLines() const {
    if (!rec.connected || unplugged)
        throw EComPort(CError_ModemStatFailed, 5);
}

void TFuzzWindow::OpenPort() {
    if (rec.connected)
        return;
    // An unplugged fake line leaves no system reason; a missing port says why.
    if (rec.portName == MissingPort) {
        Platform::TOpenFailure failure;
        failure.path = "/dev/" + MissingPort;
        failure.call = missingCall;
        failure.err = missingErr;
        throw EComPort(CError_OpenFailed, 2, Platform::ReasonOf(failure));
    }
    if (unplugged)
        throw EComPort(CError_OpenFailed, 2);
    rec.connected = true;
    const uint32_t session = ++m_session;
    ReportConnection(true);
    if (session != m_session)
        return;
    dialogue.DecAfterOpen();
    // The lines as they are now: CTS, DSR, RLSD.
    if (session == m_session)
        LampShown();
    if (session == m_session)
        ReportDsr(dsrLine);
    if (session == m_session)
        ReportRlsd(rlsdLine);
}

void TFuzzWindow::ClosePort() {
    // A click let through while the port closes closes again: that is the close under way.
    if (!rec.connected || m_closing)
        return;
    m_closing = true;
    try {
        LampShown(); // CTS off
        ReportDsr(false);
        ReportRlsd(false);
    } catch (...) {
        m_closing = false;
        throw;
    }
    const uint32_t session = ++m_session;
    rec.connected = false;
    m_closing = false;
    ReportConnection(false);
    if (session == m_session)
        dialogue.DecAfterClose();
}

int32_t TFuzzWindow::ReadPort(char* buffer, int32_t count) {
    if (!rec.connected || unplugged)
        throw EComPort(CError_ReadFailed, 5);
    return rec.ReadPort(buffer, count);
}

void TFuzzWindow::WritePort(const char* bytes, int32_t count) {
    if (!rec.connected || unplugged)
        throw EComPort(CError_WriteFailed, 5);
    rec.WritePort(bytes, count);
}

void TFuzzWindow::ApplyPortChoice() {
    FUZZ_CHECK(!rec.connected);
    rec.ApplyPortChoice();
    rec.portName = listedPort;
}

} // namespace Fuzz
