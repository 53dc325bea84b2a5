#pragma once
// A work page (Flash, Firmware or Eeprom): the "Log window" group box with the page's log, and
// along the bottom the tool bar with its six buttons and the lamp panel of five lamps following
// the receiver's port. It builds and owns these controls; the main window lays it out and
// handles its buttons' commands. UI thread only.

#include "winapp/Lamp.h"
#include "winapp/RichLog.h"
#include "winapp/WinApi.h"

#include <array>
#include <memory>
#include <optional>

class TComPort;

// The pictures a work page shows, shared by the pages (Pictures.h).
struct TPageImages {
    HIMAGELIST toolBar;
    HIMAGELIST disabledToolBar; // the same, greyed
    HIMAGELIST lamps;
};

// A tool bar button's role, in the tool bar's order.
enum TButtonRole { brPort, brChoose, brClear, brProgram, brErase, brExit };

class TWorkPage {
public:
    // Builds page `index` (0 Flash, 1 Firmware, 2 Eeprom) on `page`.
    TWorkPage(HWND page, int index, const TPageImages& images, TComPort& port);

    // The button of a role on this page, by its name's number (ToolButton1 is 1).
    int ButtonNumber(TButtonRole role) const;
    // The role of this page's button with that command id; none for another id.
    std::optional<TButtonRole> RoleOf(int commandId) const;
    // Whether a click on it would reach it: it and its tool bar enabled.
    bool Clickable(TButtonRole role) const { return m_toolBarEnabled && m_enabled[role]; }
    TRichLog& Log() { return *m_log; }
    TLamp& Lamp(int position) { return *m_lamps[size_t(position)]; } // 0..4
    HWND ToolBar() const { return m_toolBar; }

    void Resize(int width, int height);
    void SetButtonEnabled(TButtonRole role, bool enabled);
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
