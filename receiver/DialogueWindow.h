#pragma once
// What the receiver dialogue reaches of the window around it: the page logs, the options, the
// run buttons and tool bars, the port toggle and lamps, the port itself, the questions and the
// run's two timers. The main window implements it; tests record what the dialogue does with
// it. Texts and paths are UTF-8. UI thread only.

#include "Log.h"
#include "MsgIcon.h"

#include <cstdint>
#include <string>

// The run's timers: the paste into the transfer program, 500 ms after its start, and the
// watchdog, 30 s without progress.
enum class TRunTimer { Paste, Watchdog };

class TDialogueWindow {
public:
    virtual ~TDialogueWindow() = default;

    // The log of a work page (0 Flash, 1 Firmware, 2 Eeprom); none while the window is being
    // built or torn down.
    virtual TLog* PageLog(int32_t page) const = 0;
    // The page shown: a work page, or 3 for the Configuration page.
    virtual int32_t ActivePage() const = 0;

    // The options of the Configuration page.
    virtual bool ShowFullCommunication() const = 0;
    virtual bool AlwaysFreeze() const = 0;
    virtual bool ConfirmDataLoading() const = 0;
    virtual int32_t SendCommandDelay() const = 0; // milliseconds, as the user set it

    // The six program and erase buttons, together.
    virtual void SetRunButtonsEnabled(bool enabled) = 0;
    // A work page's tool bar with every button on it.
    virtual void SetToolBarEnabled(int32_t page, bool enabled) = 0;
    // The three port toggles: whether they are down, only their down state, or all they show
    // of the port (down and picture, and the choose-file buttons enabled with an open port).
    virtual bool PortToggleDown() const = 0;
    virtual void SetPortTogglesDown(bool down) = 0;
    virtual void ShowPortOpen(bool open) = 0;
    // The Flash page's DSR and RLSD lamps.
    virtual bool DsrLampOn() const = 0;
    virtual bool RlsdLampOn() const = 0;

    // The receiver's port. Open, Close, Read and Write raise the port's errors.
    virtual bool PortConnected() const = 0;
    virtual std::string PortName() const = 0;
    virtual void OpenPort() = 0;
    virtual void ClosePort() = 0;
    virtual int32_t ReadPort(char* buffer, int32_t count) = 0;
    virtual void WritePort(const char* bytes, int32_t count) = 0;
    // Takes the port chosen in the port list; the port is closed.
    virtual void ApplyPortChoice() = 0;

    // A modal box with Yes and No, Yes the default; true only for Yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon) = 0;

    virtual void SetTimerRunning(TRunTimer timer, bool running) = 0;
    virtual bool TimerRunning(TRunTimer timer) const = 0;
};
