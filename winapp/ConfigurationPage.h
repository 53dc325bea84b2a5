#pragma once
// The Configuration page: the port list and three option boxes under "Comunication", two
// option boxes and the command delay under "General". It builds and owns these controls and
// is what the kept options set and read (TOptionControls). UI thread only.

#include "receiver/OptionControls.h"
#include "winapp/PortList.h"
#include "winapp/WinApi.h"

#include <functional>
#include <memory>

class TComPort;

class TConfigurationPage final : public TOptionControls {
public:
    // Builds the controls on `page`; `port` is the receiver's port the list writes into, the
    // names of `listPorts` what it offers.
    TConfigurationPage(HWND page, TComPort& port, TPortLister listPorts);

    TPortList& PortList() { return *m_portList; }
    // The box with this check box id (WinIds::CheckBox(n)), or null.
    HWND Box(int id) const { return GetDlgItem(m_page, id); }
    bool Ticked(int number) const;
    // The delay as typed: a text that is not a whole number reads as 0.
    int32_t Delay() const;
    // A step of the delay's arrows, from the value as typed.
    void StepDelay(int delta);

    // What a click on "Show COM status" does, run also when the kept options set it.
    std::function<void()> ComStatusClicked;

    bool ShowFullCommunicationBox() const override { return Ticked(1); }
    bool ShowComStatusBox() const override { return Ticked(2); }
    bool ConfirmDataLoadingBox() const override { return Ticked(3); }
    bool OpenAtStartupBox() const override { return Ticked(4); }
    bool AlwaysFreezeBox() const override { return Ticked(5); }
    int32_t CommandDelayBox() const override { return Delay(); }
    void SetShowFullCommunicationBox(bool on) override { Tick(1, on); }
    void SetShowComStatusBox(bool on) override;
    void SetConfirmDataLoadingBox(bool on) override { Tick(3, on); }
    void SetAlwaysFreezeBox(bool on) override { Tick(5, on); }
    void SetOpenAtStartupBox(bool on) override { Tick(4, on); }
    void SetCommandDelayBox(int32_t milliseconds) override;
    int32_t PortCount() const override { return m_portList->Count(); }
    int32_t FindPort(const std::string& name) const override { return m_portList->Find(name); }
    int32_t ChosenPort() const override { return m_portList->Chosen(); }
    std::string ChosenPortName() const override { return m_portList->ChosenName(); }
    void ChoosePort(int32_t index) override { m_portList->Choose(index); }
    void UsePortChoice() override { m_portList->Apply(); }

    // A whole number as the delay box reads it: spaces around it allowed, nothing else.
    static int32_t WholeNumber(const std::wstring& text);

private:
    void Tick(int number, bool on);

    HWND m_page;
    std::unique_ptr<TPortList> m_portList;
};
