#pragma once
// The receiver dialogue's window for tests: logs as lines with their colours, the options and
// the image file as plain fields, and a record of what the dialogue did with the buttons, the
// port, the questions and the timers. The port's received bytes come from `input`; what the
// dialogue writes collects in `written`; `onOpen` and `onClose` stand for the port's reports
// while it opens and once it has closed.

#include "receiver/DialogueWindow.h"
#include "serial/ComError.h"

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class TRecordingLog final : public TLog {
public:
    struct TLine {
        std::string text;
        TColor color;
        bool operator==(const TLine&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const TLine& line) {
            return out << '"' << line.text << "\" 0x" << std::hex << line.color << std::dec;
        }
    };
    std::vector<TLine> lines;
    TColor color = clBlack;

    void SetColor(TColor c) override { color = c; }
    void Append(const std::string& text) override {
        size_t start = 0;
        for (size_t feed; (feed = text.find('\n', start)) != std::string::npos; start = feed + 1)
            lines.push_back({text.substr(start, feed - start), color});
        lines.push_back({text.substr(start), color});
    }
    void AppendUtf8(const std::string& text) override { Append(text); }
    using TLog::Append;
    void Clear() override { lines.clear(); }
    int LineCount() const override { return int(lines.size()); }
    std::string Line(int index) const override {
        return index >= 0 && index < LineCount() ? lines[size_t(index)].text : std::string();
    }
    void DeleteLine(int index) override {
        if (index >= 0 && index < LineCount())
            lines.erase(lines.begin() + index);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const TLine& line : lines)
            texts.push_back(line.text);
        return texts;
    }
    std::string LastLine() const { return lines.empty() ? std::string() : lines.back().text; }
    TLine Last() const { return lines.empty() ? TLine{} : lines.back(); }
};

class TRecordingWindow final : public TDialogueWindow {
public:
    struct TQuestion {
        std::string caption, text;
        TMsgIcon icon;
        TMsgDefault preset = TMsgDefault::Yes;
    };

    std::array<TRecordingLog, 3> logs;
    bool logsExist = true; // false while the window is built or torn down
    int32_t activePage = 0;
    bool fullCommunication = false, alwaysFreeze = true, confirmLoading = true;
    int32_t commandDelay = 500; // the window's own default

    bool runButtonsEnabled = false;
    std::array<bool, 3> toolBarEnabled{true, true, true};
    bool togglesDown = false, togglesShowOpen = false, chooseEnabled = false;
    bool dsrOn = false, rlsdOn = false;

    bool connected = false;
    std::string portName = "COM1";
    std::string input;                             // what the next reads take, front first
    std::string written;                           // every byte the dialogue wrote, in order
    int failOpen = 0;                              // an error code Open raises, 0 for none
    std::optional<TOpenFailureReason> openFailure; // why, carried by that error
    bool failWrite = false;
    int portChoicesApplied = 0;
    std::function<void()> onOpen, onClose;

    std::deque<bool> answers; // Yes when none is left
    std::vector<TQuestion> asked;
    std::array<bool, 2> timers{false, false}; // paste, watchdog
    std::array<int, 2> timerStarts{0, 0};     // a start of a running timer begins it again

    TLog* PageLog(int32_t page) const override {
        return logsExist && page >= 0 && page < 3 ? const_cast<TRecordingLog*>(&logs[size_t(page)])
                                                  : nullptr;
    }
    int32_t ActivePage() const override { return activePage; }
    bool ShowFullCommunication() const override { return fullCommunication; }
    bool AlwaysFreeze() const override { return alwaysFreeze; }
    bool ConfirmDataLoading() const override { return confirmLoading; }
    int32_t SendCommandDelay() const override { return commandDelay; }
    void SetRunButtonsEnabled(bool enabled) override { runButtonsEnabled = enabled; }
    void SetToolBarEnabled(int32_t page, bool enabled) override {
        toolBarEnabled.at(size_t(page)) = enabled;
    }
    bool PortToggleDown() const override { return togglesDown; }
    void SetPortTogglesDown(bool down) override { togglesDown = down; }
    void ShowPortOpen(bool open) override { togglesDown = togglesShowOpen = chooseEnabled = open; }
    bool DsrLampOn() const override { return dsrOn; }
    bool RlsdLampOn() const override { return rlsdOn; }
    bool PortConnected() const override { return connected; }
    std::string PortName() const override { return portName; }
    void OpenPort() override {
        if (failOpen != 0 && openFailure)
            throw EComPort(failOpen, 2, *openFailure);
        if (failOpen != 0)
            throw EComPort(failOpen, 2);
        connected = true;
        if (onOpen)
            onOpen();
    }
    void ClosePort() override {
        if (!connected)
            return;
        connected = false;
        if (onClose)
            onClose();
    }
    int32_t ReadPort(char* buffer, int32_t count) override {
        const size_t n = std::min(input.size(), size_t(std::max(count, 0)));
        input.copy(buffer, n);
        input.erase(0, n);
        return int32_t(n);
    }
    void WritePort(const char* bytes, int32_t count) override {
        if (failWrite)
            throw EComPort(CError_WriteFailed, 5);
        written.append(bytes, size_t(count));
    }
    void ApplyPortChoice() override { ++portChoicesApplied; }
    bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon,
                  TMsgDefault preset) override {
        asked.push_back({caption, text, icon, preset});
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void SetTimerRunning(TRunTimer timer, bool running) override {
        timers[size_t(timer)] = running;
        timerStarts[size_t(timer)] += running ? 1 : 0;
    }
    bool TimerRunning(TRunTimer timer) const override { return timers[size_t(timer)]; }
};
