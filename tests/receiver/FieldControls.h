#pragma once
// The Configuration page's controls as plain fields, for the kept options' tests on every
// system; the port list holds COM1 and COM2.

#include "receiver/OptionControls.h"

#include <string>
#include <vector>

struct TFieldControls final : TOptionControls {
    bool full = false, status = false, confirm = false, freeze = true, startup = false;
    int32_t delay = 500, chosen = -1;
    std::string portName; // what the port was told to use
    std::vector<std::string> ports{"COM1", "COM2"};
    bool ShowFullCommunicationBox() const override { return full; }
    bool ShowComStatusBox() const override { return status; }
    bool ConfirmDataLoadingBox() const override { return confirm; }
    bool AlwaysFreezeBox() const override { return freeze; }
    bool OpenAtStartupBox() const override { return startup; }
    int32_t CommandDelayBox() const override { return delay; }
    void SetShowFullCommunicationBox(bool on) override { full = on; }
    void SetShowComStatusBox(bool on) override { status = on; }
    void SetConfirmDataLoadingBox(bool on) override { confirm = on; }
    void SetAlwaysFreezeBox(bool on) override { freeze = on; }
    void SetOpenAtStartupBox(bool on) override { startup = on; }
    void SetCommandDelayBox(int32_t milliseconds) override { delay = milliseconds; }
    int32_t PortCount() const override { return int32_t(ports.size()); }
    int32_t FindPort(const std::string& name) const override {
        for (size_t i = 0; i < ports.size(); ++i)
            if (ports[i] == name)
                return int32_t(i);
        return -1;
    }
    int32_t ChosenPort() const override { return chosen; }
    std::string ChosenPortName() const override { return chosen >= 0 ? ports[size_t(chosen)] : ""; }
    void ChoosePort(int32_t index) override { chosen = index; }
    void UsePortChoice() override { portName = ChosenPortName(); }
};
