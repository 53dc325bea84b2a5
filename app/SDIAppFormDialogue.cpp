// What the main window offers the receiver dialogue: its logs, options, buttons, lamps, port,
// questions and timers; and the program buttons, told apart by their names.

#include "app/CSpinEdit.h"
#include "app/Dialogs.h"
#include "app/ImageList.h"
#include "app/LogEdit.h"
#include "app/OpenDialog.h"
#include "app/PageControl.h"
#include "app/SDIAppForm.h"
#include "app/ToolBar.h"
#include "app/ToolButton.h"
#include "controls/ComComboBox.h"
#include "serial/ComPort.h"

#include <QCheckBox>
#include <QTimer>

void TSDIAppForm::ToolButton16Click(QObject* Sender) {
    const QString name = Sender != nullptr ? Sender->objectName() : QString();
    m_dialogue.ToolButton16Click(name == QLatin1String("ToolButton17")   ? ikFirmware
                                 : name == QLatin1String("ToolButton18") ? ikEeprom
                                                                         : ikFlash);
}

TLog* TSDIAppForm::PageLog(int32_t page) const {
    return page >= ikFlash && page <= ikEeprom ? Logs()[size_t(page)] : nullptr;
}

int32_t TSDIAppForm::ActivePage() const {
    return PageControl1 != nullptr ? PageControl1->currentIndex() : ikFlash;
}

bool TSDIAppForm::ShowFullCommunication() const {
    return CheckBox1->isChecked();
}
bool TSDIAppForm::AlwaysFreeze() const {
    return CheckBox5->isChecked();
}
bool TSDIAppForm::ConfirmDataLoading() const {
    return CheckBox3->isChecked();
}
int32_t TSDIAppForm::SendCommandDelay() const {
    return Spin1->Value();
}

void TSDIAppForm::SetRunButtonsEnabled(bool enabled) {
    for (TToolButton* button : RunButtons())
        button->setEnabled(enabled);
}

void TSDIAppForm::SetToolBarEnabled(int32_t page, bool enabled) {
    const std::array<TToolBar*, 3> toolBars{ToolBar1, ToolBar2, ToolBar3};
    if (page >= ikFlash && page <= ikEeprom)
        toolBars[size_t(page)]->setEnabled(enabled);
}

bool TSDIAppForm::PortToggleDown() const {
    return ToolButton1->Down();
}

void TSDIAppForm::SetPortTogglesDown(bool down) {
    for (TToolButton* button : PortButtons())
        button->SetDown(down);
}

void TSDIAppForm::ShowPortOpen(bool open) {
    for (TToolButton* button : PortButtons()) {
        button->SetDown(open);
        button->SetImageIndex(open ? TImageList::imgPortOpen : TImageList::imgPortClosed);
    }
    for (TToolButton* button : ChooseButtons())
        button->setEnabled(open);
}

bool TSDIAppForm::DsrLampOn() const {
    return ComLed3->State() == lsOn;
}
bool TSDIAppForm::RlsdLampOn() const {
    return ComLed5->State() == lsOn;
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
    DecPort->ApplySettings();
}

bool TSDIAppForm::AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon,
                           TMsgDefault preset) {
    return m_dialogs.AskYesNo(this, QString::fromStdString(caption), QString::fromStdString(text),
                              icon, preset);
}

void TSDIAppForm::SetTimerRunning(TRunTimer timer, bool running) {
    QTimer* t = timer == TRunTimer::Paste ? Timer1 : Timer2;
    if (running)
        t->start();
    else
        t->stop();
}

bool TSDIAppForm::TimerRunning(TRunTimer timer) const {
    return (timer == TRunTimer::Paste ? Timer1 : Timer2)->isActive();
}
