// What the main window offers the receiver dialogue: its logs, options, buttons, lamps, port,
// questions and timers.

#include "serial/ComPort.h"
#include "winapp/ControlIds.h"
#include "winapp/MainWindow.h"
#include "winapp/WinApi.h"

namespace {
constexpr int PortOpenImage = 3;
constexpr int PortClosedImage = 4;
} // namespace

TLog* TSDIAppForm::PageLog(int32_t page) const {
    return !m_tearingDown && page >= ikFlash && page <= ikEeprom && m_pages[size_t(page)] != nullptr
               ? &m_pages[size_t(page)]->Log()
               : nullptr;
}

int32_t TSDIAppForm::ActivePage() const {
    const LRESULT page = SendMessageW(PageControl1, TCM_GETCURSEL, 0, 0);
    return page >= 0 ? int32_t(page) : ikFlash;
}

bool TSDIAppForm::ShowFullCommunication() const {
    return m_configuration->ShowFullCommunicationBox();
}
bool TSDIAppForm::AlwaysFreeze() const {
    return m_configuration->AlwaysFreezeBox();
}
bool TSDIAppForm::ConfirmDataLoading() const {
    return m_configuration->ConfirmDataLoadingBox();
}
int32_t TSDIAppForm::SendCommandDelay() const {
    return m_configuration->Delay();
}

void TSDIAppForm::SetRunButtonsEnabled(bool enabled) {
    for (const std::unique_ptr<TWorkPage>& page : m_pages) {
        page->SetButtonEnabled(brProgram, enabled);
        page->SetButtonEnabled(brErase, enabled);
    }
}

void TSDIAppForm::SetToolBarEnabled(int32_t page, bool enabled) {
    if (page >= ikFlash && page <= ikEeprom)
        m_pages[size_t(page)]->SetToolBarEnabled(enabled);
}

bool TSDIAppForm::PortToggleDown() const {
    return m_pages[0]->PortButtonDown();
}

void TSDIAppForm::SetPortTogglesDown(bool down) {
    for (const std::unique_ptr<TWorkPage>& page : m_pages)
        page->SetPortButtonDown(down);
}

void TSDIAppForm::ShowPortOpen(bool open) {
    for (const std::unique_ptr<TWorkPage>& page : m_pages) {
        page->SetPortButtonDown(open);
        page->SetPortButtonImage(open ? PortOpenImage : PortClosedImage);
        page->SetButtonEnabled(brChoose, open);
    }
}

bool TSDIAppForm::DsrLampOn() const {
    return m_pages[0]->Lamp(2).State() == lsOn;
}
bool TSDIAppForm::RlsdLampOn() const {
    return m_pages[0]->Lamp(4).State() == lsOn;
}

bool TSDIAppForm::PortConnected() const {
    return Dec->Connected();
}
std::string TSDIAppForm::PortName() const {
    return Dec->Port();
}
void TSDIAppForm::OpenPort() {
    Dec->Open();
}
void TSDIAppForm::ClosePort() {
    Dec->Close();
}
int32_t TSDIAppForm::ReadPort(char* buffer, int32_t count) {
    return Dec->Read(buffer, count);
}
void TSDIAppForm::WritePort(const char* bytes, int32_t count) {
    Dec->Write(bytes, count);
}
void TSDIAppForm::ApplyPortChoice() {
    m_configuration->PortList().Apply();
}

bool TSDIAppForm::AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon,
                           TMsgDefault preset) {
    return m_services.Dialogs.AskYesNo(m_window, caption, text, icon, preset);
}

void TSDIAppForm::SetTimerRunning(TRunTimer timer, bool running) {
    const bool paste = timer == TRunTimer::Paste;
    const UINT_PTR id = paste ? WinIds::Timer1 : WinIds::Timer2;
    bool& state = m_timerRunning[paste ? 0 : 1];
    if (running)
        state = SetTimer(m_window, id, paste ? 500 : 30000, nullptr) != 0;
    else if (state) {
        KillTimer(m_window, id);
        state = false;
    }
}

bool TSDIAppForm::TimerRunning(TRunTimer timer) const {
    return m_timerRunning[timer == TRunTimer::Paste ? 0 : 1];
}
