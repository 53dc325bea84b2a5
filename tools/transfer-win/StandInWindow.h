#pragma once
// The stand-in's main window. Its controls, in tab order: the path input (an EDIT), the status
// line and the Close button. A paste into the input starts the delivery of the file it names;
// WM_CLOSE closes the window at once, breaking off a delivery that is still running.

#include "tools/transfer-win/Delivery.h"

#include <memory>
#include <string>
#include <windows.h>

class TStandInWindow {
public:
    // Makes the window, shows it as the starting program asked (showCommand) and brings it to
    // the foreground. False when the window cannot be made.
    bool Create(HINSTANCE instance, int showCommand);
    HWND Window() const { return m_window; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK InputProc(HWND input, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void MakeControls();
    void Pasted();
    void Ended(const TDeliveryResult& result);
    void SetStatus(const std::wstring& text);

    HWND m_window = nullptr;
    HWND m_input = nullptr;
    HWND m_status = nullptr;
    HWND m_close = nullptr;
    WNDPROC m_inputProc = nullptr;
    bool m_shown = false;
    std::unique_ptr<TDelivery> m_delivery;
};
