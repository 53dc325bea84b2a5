#pragma once
// The Configuration page's controls as the kept options set and read them: the five option
// boxes, the delay and the port list's choice. A window implements it. UI thread only.

#include <cstdint>
#include <string>

class TOptionControls {
public:
    virtual ~TOptionControls() = default;

    virtual bool ShowFullCommunicationBox() const = 0;
    virtual bool ShowComStatusBox() const = 0;
    virtual bool ConfirmDataLoadingBox() const = 0;
    virtual bool AlwaysFreezeBox() const = 0;
    virtual bool OpenAtStartupBox() const = 0;
    virtual int32_t CommandDelayBox() const = 0;
    virtual void SetShowFullCommunicationBox(bool on) = 0;
    // Also shows or hides the status bar, as a click on the box does.
    virtual void SetShowComStatusBox(bool on) = 0;
    virtual void SetConfirmDataLoadingBox(bool on) = 0;
    virtual void SetAlwaysFreezeBox(bool on) = 0;
    virtual void SetOpenAtStartupBox(bool on) = 0;
    virtual void SetCommandDelayBox(int32_t milliseconds) = 0;

    // The port list: its length, the position of a name in it (-1 when missing), the position
    // chosen (-1 for none) and its name.
    virtual int32_t PortCount() const = 0;
    virtual int32_t FindPort(const std::string& name) const = 0;
    virtual int32_t ChosenPort() const = 0;
    virtual std::string ChosenPortName() const = 0;
    virtual void ChoosePort(int32_t index) = 0;
    // The receiver's port takes the list's choice as its name; the port is closed.
    virtual void UsePortChoice() = 0;
};
