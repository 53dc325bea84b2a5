#pragma once
// The Windows window's control identifiers, window classes and private messages: the window
// builds its controls with them, and programs that drive it (its tests) find the controls by
// them, as a person finds a control by what it is. Each number follows the control's name:
// ToolButtonN is 2000 + N, ComLedN is 1500 + N, and so on.

#include <cstdint>

namespace WinIds {

// Window classes.
constexpr const wchar_t* MainWindowClass = L"TSDIAppForm";
constexpr const wchar_t* TabSheetClass = L"TTabSheet";
constexpr const wchar_t* ComLedClass = L"TComLed";

constexpr int PageControl1 = 1001;
// TabSheet1..4, for pages 0..3
constexpr int TabSheet(int page) {
    return 1011 + page;
}
// ToolBar1..3, on pages 0..2
constexpr int ToolBar(int page) {
    return 1101 + page;
}
// RichEdit1..3
constexpr int RichEdit(int page) {
    return 1201 + page;
}
// GroupBox1..5
constexpr int GroupBox(int number) {
    return 1300 + number;
}
// Panel1..3, the lamp panels
constexpr int Panel(int page) {
    return 1401 + page;
}
// ComLed1..15
constexpr int ComLed(int number) {
    return 1500 + number;
}
// ToolButton1..28, command ids
constexpr int ToolButton(int number) {
    return 2000 + number;
}

constexpr int DecPort = 1601;
// CheckBox1..5
constexpr int CheckBox(int number) {
    return 1610 + number;
}
constexpr int Spin1 = 1621;       // the delay's edit box
constexpr int Spin1Arrows = 1622; // its up-down control
constexpr int StatusBar = 1701;

// The About box's controls.
constexpr int AboutPanel = 1801;
constexpr int ProgramIcon = 1802;
constexpr int ProductName = 1803;
constexpr int Version = 1804;
constexpr int Copyright = 1805;
constexpr int Comments = 1806;
constexpr int OKButton = 1; // IDOK

// Timers of the main window.
constexpr uintptr_t Timer1 = 1; // 500 ms, the paste into the transfer program
constexpr uintptr_t Timer2 = 2; // 30 s, the run's watchdog

// A lamp's state (0 off, 1 on) and its kind (TLedKind), read with SendMessage.
constexpr unsigned LampGetState = 0x0400 + 1; // WM_USER + 1
constexpr unsigned LampGetKind = 0x0400 + 2;
// Posted to the main window when work waits to be handed to the UI thread.
constexpr unsigned ServeHandOvers = 0x8000 + 1; // WM_APP + 1

} // namespace WinIds
