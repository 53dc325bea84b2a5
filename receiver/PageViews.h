#pragma once
// What the dialogue shows on the work pages: their logs, which page is in front, the run
// buttons and tool bars, the port toggles and the lamps. A window implements it. UI thread
// only.

#include "receiver/Log.h"

#include <cstdint>

class TPageViews {
public:
    virtual ~TPageViews() = default;

    // The log of a work page (0 Flash, 1 Firmware, 2 Eeprom); none while the window is being
    // built or torn down.
    virtual TLog* PageLog(int32_t page) const = 0;
    // The page shown: a work page, or 3 for the Configuration page.
    virtual int32_t ActivePage() const = 0;

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
};
