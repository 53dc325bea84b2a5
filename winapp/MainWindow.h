#pragma once
// The main window on Windows: three work pages (Flash, Firmware, Eeprom), each with its log,
// tool bar and lamps, and a Configuration page with the options, on a tab control above the
// status bar. It owns every control and the receiver's port, serves the receiver dialogue as
// its window, and passes the receiver's events, the buttons and the timers on to it.
//
// UI thread only. The port's events reach it through the message loop (ThreadSync's hand-over,
// posted to this window). A failure that escapes a handler is shown in the application's
// failure box and the program goes on.

#include "receiver/DialogueWindow.h"
#include "receiver/ExternalWindows.h"
#include "receiver/ImageFiles.h"
#include "receiver/KeptOptions.h"
#include "receiver/OptionStore.h"
#include "receiver/ReceiverDialogue.h"
#include "serial/EnumComPorts.h"
#include "winapp/ConfigurationPage.h"
#include "winapp/Dialogs.h"
#include "winapp/WinApi.h"
#include "winapp/WorkPage.h"

#include <array>
#include <functional>
#include <memory>

class TComPort;

// What the window reaches outside itself. The program passes the real ones; tests theirs.
struct TWinServices {
    TWinDialogs& Dialogs;
    TOptionStore& Settings;
    TExternalWindows& Windows;
    const TImageFiles& Files;
    TPortLister ListPorts = EnumComPorts; // the system's serial ports (SERIALCOMM)
};

class TSDIAppForm final : private TDialogueWindow {
public:
    // Builds the window (hidden), reads the settings and, when asked to, opens the port.
    explicit TSDIAppForm(TWinServices& services);
    TSDIAppForm(const TSDIAppForm&) = delete;
    TSDIAppForm& operator=(const TSDIAppForm&) = delete;
    ~TSDIAppForm() override;

    static void RegisterClasses(HINSTANCE instance);

    HWND Handle() const { return m_window; }
    TReceiverDialogue& Dialogue() { return m_dialogue; }
    TComPort& Port() { return *Dec; }
    TWorkPage& Page(int index) { return *m_pages[size_t(index)]; }
    TConfigurationPage& Configuration() { return *m_configuration; }

    // --- Handlers
    // ---------------------------------------------------------------------------------
    void FileExit1Execute();
    // Before the window closes, by any means; false keeps it open (the settings would be lost).
    bool FormClose();
    void CheckBox2Click();
    void ToolButton20Click();
    void HelpAbout1Execute();
    void FileOpen1Execute();
    void LoadSettings();
    void SaveSettings();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs a handler; a failure it throws is shown in the failure box.
    bool Guarded(const std::function<void()>& handler);
    void Command(int id, int code);
    LRESULT Notify(const NMHDR& header);
    void BuildControls();
    void BuildPort();
    void Resize();
    void ShowPage(int index);

    // --- The dialogue's window ----------------------------------------------------------------
    TLog* PageLog(int32_t page) const override;
    int32_t ActivePage() const override;
    bool ShowFullCommunication() const override;
    bool AlwaysFreeze() const override;
    bool ConfirmDataLoading() const override;
    int32_t SendCommandDelay() const override;
    void SetRunButtonsEnabled(bool enabled) override;
    void SetToolBarEnabled(int32_t page, bool enabled) override;
    bool PortToggleDown() const override;
    void SetPortTogglesDown(bool down) override;
    void ShowPortOpen(bool open) override;
    bool DsrLampOn() const override;
    bool RlsdLampOn() const override;
    bool PortConnected() const override;
    std::string PortName() const override;
    void OpenPort() override;
    void ClosePort() override;
    int32_t ReadPort(char* buffer, int32_t count) override;
    void WritePort(const char* bytes, int32_t count) override;
    void ApplyPortChoice() override;
    bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon,
                  TMsgDefault preset) override;
    void SetTimerRunning(TRunTimer timer, bool running) override;
    bool TimerRunning(TRunTimer timer) const override;

    TWinServices& m_services;
    HWND m_window = nullptr;
    HWND PageControl1 = nullptr;
    std::array<HWND, 4> TabSheets{};
    HWND StatusBar = nullptr;
    HIMAGELIST ImageList1 = nullptr;
    HIMAGELIST m_greyedImages = nullptr; // ImageList1 as disabled buttons show it
    HIMAGELIST m_lampImages = nullptr;
    HICON m_icons[2] = {};
    TComPort* Dec = nullptr; // the receiver's serial port
    std::array<std::unique_ptr<TWorkPage>, 3> m_pages;
    std::unique_ptr<TConfigurationPage> m_configuration;
    TReceiverDialogue m_dialogue;
    TKeptOptions m_keptOptions;
    TOpenFile OpenDialog;
    bool m_timerRunning[2] = {false, false}; // Timer1, Timer2
    bool m_closeRefused = false;
    bool m_tearingDown = false; // the window is being taken apart: no logs any more
};
