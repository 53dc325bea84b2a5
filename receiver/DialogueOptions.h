#pragma once
// The options of the Configuration page as the dialogue reads them. A window implements it.
// UI thread only.

#include <cstdint>

class TDialogueOptions {
public:
    virtual ~TDialogueOptions() = default;

    virtual bool ShowFullCommunication() const = 0;
    virtual bool AlwaysFreeze() const = 0;
    virtual bool ConfirmDataLoading() const = 0;
    virtual int32_t SendCommandDelay() const = 0; // milliseconds, as the user set it
};
