#pragma once
// The receiver dialogue for the fuzz targets, without widgets: its window is the dialogue
// tests' recording window (with cheaper logs), and around it this plays the port and its lamps
// as the real ones behave. Opening reports the connection lamps, then the port's open
// (DecAfterOpen), then the DSR and RLSD lamps with the receiver's lines; closing reports the lines
// off, then the connection lamps and the close (DecAfterClose). A lamp that shows a report runs the
// window's pending events, so a click on a port toggle that the user made meanwhile runs there, in
// the middle of the port's notifications, and the port drops its later notifications once that
// click has closed it. A port that is closed, missing or unplugged raises as the real one.
// Everything runs on this thread, the same way every time.

#include "receiver/ReceiverDialogue.h"
#include "serial/ComError.h"
#include "system/PosixImageFiles.h"
#include "tests/receiver/RecordingWindow.h"
#include "tests/support/FakeWindows.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

// Stops the input with the check that failed, for the crash report.
#define FUZZ_CHECK(condition) ((condition) ? void() : ::Fuzz::Fail(#condition, __FILE__, __LINE__))

namespace Fuzz {

[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

// Called from LLVMFuzzerInitialize: puts the target's own defaults before the fuzzer's
// arguments, where flags given on the command line override them.
void DefaultFlags(int* argc, char*** argv, std::initializer_list<const char*> flags);

// The port list holds two ports: the first on the line to the receiver, the second listed but
// missing, so that opening it fails for the system's reason that the input picks.
inline const std::string LinePort = "FUZZLINE";
inline const std::string MissingPort = "FUZZGONE";

// A page log in one buffer. The dialogue writes many lines and reads back only the last, and a
// string apiece would cost the sanitizers an allocation and a release for every line.
class TFuzzLog final : public TLog {
public:
    void SetColor(TColor color) override { m_color = color; }
    void Append(const std::string& text) override;
    void AppendUtf8(const std::string& text) override { Append(text); }
    using TLog::Append;
    void Clear() override {
        m_text.clear();
        m_lines.clear();
    }
    int LineCount() const override { return int(m_lines.size()); }
    std::string Line(int index) const override;
    void DeleteLine(int index) override;
    TColor LineColor(int index) const { return m_lines.at(size_t(index)).color; }
    std::string LastLine() const { return Line(LineCount() - 1); }

private:
    struct TLine {
        size_t start, length;
        TColor color;
    };
    std::string m_text;
    std::vector<TLine> m_lines;
    TColor m_color = clBlack;
};

// The transfer program as the input has it behave: it starts and shows its window, or it cannot
// be started, shows no window, or ends before the receiver's command is due.
enum class TProgram { Works, WontStart, NoWindow, EndsEarly };

class TFuzzPrograms final : public TExternalWindows {
public:
    TFakeWindows fake; // a program that works
    TProgram behaviour = TProgram::Works;
    std::string startFailure; // why it cannot be started

    bool WinExec(const std::string& commandLine, int showMode) override {
        return behaviour != TProgram::WontStart && fake.WinExec(commandLine, showMode);
    }
    std::string StartFailure() const override { return startFailure; }
    HWND GetForegroundWindow() override {
        return behaviour == TProgram::NoWindow ? 0 : fake.GetForegroundWindow();
    }
    bool CloseWindow(HWND window) override { return fake.CloseWindow(window); }
    HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) override {
        return fake.GetNextDlgTabItem(dialog, control, previous);
    }
    intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override {
        return fake.SendMessage(window, message, wParam, lParam);
    }
    bool IsWindow(HWND window) override { return fake.IsWindow(window); }
    void SetClipboardText(const std::string& text) override { fake.SetClipboardText(text); }
    void Sleep(int milliseconds) override {
        fake.Sleep(milliseconds);
        if (behaviour == TProgram::EndsEarly)
            fake.running = false;
    }
};

class TFuzzWindow final : public TDialogueWindow {
public:
    // As the window starts without stored settings: the Flash page, the first port, closed.
    TFuzzWindow();

    TRecordingWindow rec;         // logs, options, buttons, port toggles, questions, timers, writes
    std::array<TFuzzLog, 3> logs; // the work pages' logs, there while rec.logsExist
    TFuzzPrograms windows;        // the transfer program
    TPosixImageFiles files;
    TReceiverDialogue dialogue{*this, windows, files};

    bool dsrLine = false, rlsdLine = false;                   // as the receiver sets them
    bool connLamp = false, dsrLamp = false, rlsdLamp = false; // as the Flash page shows them
    bool unplugged = false;
    // Why opening the missing port fails, as the system tells: the call and its errno.
    const char* missingCall = "open";
    int missingErr = ENOENT;
    std::string listedPort = LinePort; // the port list's choice, the port's once applied
    int pendingClick = -1;             // the page whose port toggle was clicked, not yet delivered
    size_t reports = 0;                // failures the window reported

    // A click on a page's port toggle: lost while its tool bar is disabled; else the check
    // button turns itself and the handler runs, guarded.
    void ClickPortToggle(int page);
    // The driver's received-characters event; a closed port raises none.
    void Receive(const std::string& bytes);
    // The receiver sets its lines; the driver reports those that changed.
    void SetLines(bool dsr, bool rlsd);
    // Back in the event loop: a click not yet delivered is delivered now.
    void Settle();
    // The window goes: its logs first, then the port closes, then the lamps leave the port.
    void TearDown();

    // Runs a handler as the window's guard and the port's dispatch do: a port failure is
    // reported and the program goes on. Nothing else may escape a handler.
    template <class Handler> void Guarded(Handler handler) {
        try {
            handler();
        } catch (const EComPort&) {
            ++reports;
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "handler failed: %s\n", failure.what());
            Fail("only the port fails", __FILE__, __LINE__);
        }
    }

    // --- The dialogue's window: the recording window, but for the port ------------------------
    TLog* PageLog(int32_t page) const override {
        return rec.PageLog(page) != nullptr ? const_cast<TFuzzLog*>(&logs[size_t(page)]) : nullptr;
    }
    int32_t ActivePage() const override { return rec.ActivePage(); }
    bool ShowFullCommunication() const override { return rec.ShowFullCommunication(); }
    bool AlwaysFreeze() const override { return rec.AlwaysFreeze(); }
    bool ConfirmDataLoading() const override { return rec.ConfirmDataLoading(); }
    int32_t SendCommandDelay() const override { return rec.SendCommandDelay(); }
    void SetRunButtonsEnabled(bool enabled) override { rec.SetRunButtonsEnabled(enabled); }
    void SetToolBarEnabled(int32_t page, bool enabled) override;
    bool PortToggleDown() const override { return rec.PortToggleDown(); }
    void SetPortTogglesDown(bool down) override { rec.SetPortTogglesDown(down); }
    void ShowPortOpen(bool open) override { rec.ShowPortOpen(open); }
    bool DsrLampOn() const override { return dsrLamp; }
    bool RlsdLampOn() const override { return rlsdLamp; }
    bool PortConnected() const override { return rec.connected; }
    std::string PortName() const override { return rec.portName; }
    void OpenPort() override;
    void ClosePort() override;
    int32_t ReadPort(char* buffer, int32_t count) override;
    void WritePort(const char* bytes, int32_t count) override;
    void ApplyPortChoice() override;
    bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon,
                  TMsgDefault preset) override {
        return rec.AskYesNo(caption, text, icon, preset);
    }
    void SetTimerRunning(TRunTimer timer, bool running) override {
        rec.SetTimerRunning(timer, running);
    }
    bool TimerRunning(TRunTimer timer) const override { return rec.TimerRunning(timer); }

private:
    // A lamp shows a report and then runs the pending events: a click made meanwhile.
    void LampShown();
    void ReportConnection(bool on);
    void ReportDsr(bool on);
    void ReportRlsd(bool on);
    // Reading the lines of a port that is closed or unplugged fails.
    void ReadLines() const;

    uint32_t m_session = 0; // counts opens and closes: a report of an earlier one is dropped
    bool m_closing = false;
};

} // namespace Fuzz
