#pragma once
// A work page (Flash, Firmware or Eeprom): the "Log window" group box with the page's log, and
// along the bottom the tool bar with its six buttons and the lamp panel of five lamps following
// the receiver's port. It builds and owns these controls; the main window lays it out and
// handles its buttons' commands. UI thread only.

#include "winapp/Lamp.h"
#include "winapp/RichLog.h"

#include <windows.h>

#include <array>
#include <memory>

class TComPort;

// A tool bar button's role, in the tool bar's order.
enum TButtonRole { brPort, brChoose, brClear, brProgram, brErase, brExit };

class TWorkPage {
public:
    // Builds page `index` (0 Flash, 1 Firmware, 2 Eeprom) on `page`.
    TWorkPage(HWND page, int index, HIMAGELIST toolBarImages, HIMAGELIST lampImages,
              TComPort& port);

    // The button of a role on this page, by its name's number (ToolButton1 is 1).
    int ButtonNumber(TButtonRole role) const;
    TRichLog& Log() { return *m_log; }
    TLamp& Lamp(int position) { return *m_lamps[size_t(position)]; } // 0..4
    HWND ToolBar() const { return m_toolBar; }

    void Resize(int width, int height);
    void SetButtonEnabled(TButtonRole role, bool enabled);
    bool ButtonEnabled(TButtonRole role) const;
    // The whole tool bar: off, every button and lamp shows disabled; on, each its own state.
    void SetToolBarEnabled(bool enabled);
    bool PortButtonDown() const;
    void SetPortButtonDown(bool down);
    void SetPortButtonImage(int image);
    void ShowLampPanel(bool shown);

private:
    void ApplyEnabled(TButtonRole role);

    int m_index;
    HWND m_groupBox;
    HWND m_toolBar;
    HWND m_panel;
    std::unique_ptr<TRichLog> m_log;
    std::array<std::unique_ptr<TLamp>, 5> m_lamps;
    std::array<bool, 6> m_enabled{};
    bool m_toolBarEnabled = true;
};
