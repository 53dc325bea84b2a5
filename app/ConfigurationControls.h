#pragma once
// The Configuration page's option boxes, delay and port list as the kept options read and set
// them. It holds the window's controls, not controls of its own, and lives no longer than they.
// UI thread only.

#include "receiver/OptionControls.h"

#include <functional>

class QCheckBox;
class TComComboBox;
class TComPort;
class TCSpinEdit;

class TConfigurationControls final : public TOptionControls {
public:
    struct TControls {
        QCheckBox* fullCommunication; // "Show full comunication"
        QCheckBox* comStatus;         // "Show COM status"
        QCheckBox* confirmLoading;    // "Confirm data loading"
        QCheckBox* openAtStartup;     // "Open port at startup"
        QCheckBox* alwaysFreeze;      // "Always freeze"
        TCSpinEdit* commandDelay;     // "Send command delay"
        TComComboBox* portList;
        TComPort* port;
        std::function<void()> comStatusClicked; // what a click on "Show COM status" does
    };
    explicit TConfigurationControls(TControls controls) : m_c(std::move(controls)) {}

    bool ShowFullCommunicationBox() const override;
    bool ShowComStatusBox() const override;
    bool ConfirmDataLoadingBox() const override;
    bool AlwaysFreezeBox() const override;
    bool OpenAtStartupBox() const override;
    int32_t CommandDelayBox() const override;
    void SetShowFullCommunicationBox(bool on) override;
    void SetShowComStatusBox(bool on) override;
    void SetConfirmDataLoadingBox(bool on) override;
    void SetAlwaysFreezeBox(bool on) override;
    void SetOpenAtStartupBox(bool on) override;
    void SetCommandDelayBox(int32_t milliseconds) override;
    int32_t PortCount() const override;
    int32_t FindPort(const std::string& name) const override;
    int32_t ChosenPort() const override;
    std::string ChosenPortName() const override;
    void ChoosePort(int32_t index) override;
    void UsePortChoice() override;

private:
    TControls m_c;
};
