// The options of the Configuration page kept between runs, read once while the window is
// built and written on exit and close: the rules are the kept options' (KeptOptions.h); here
// are the controls they set and read.

#include "CSpinEdit.h"
#include "ComComboBox.h"
#include "ComPort.h"
#include "LogEdit.h"
#include "SDIAppForm.h"
#include "SettingsStore.h"
#include "StoredOptions.h"
#include "platform/PortPaths.h"

#include <QCheckBox>

void TSDIAppForm::LoadSettings() {
    DecPort->SetComProperty(cpPort); // the system's ports as they are now
    TStoredOptions store(m_services.Settings);
    m_keptOptions.Load(store, *this, *ActivePageLog());
    // Virtual ports in a folder that someone else could have made or could write are left out
    // of the list and never opened; the user learns why here, not only on standard error.
    std::string problem;
    if (Platform::TrustedPortsFolder(false, &problem).empty() && !problem.empty()) {
        TLogEdit* log = ActivePageLog();
        log->SetColor(clRed);
        log->Append("Virtual ports are not used: " + problem);
    }
}

void TSDIAppForm::SaveSettings() {
    TStoredOptions store(m_services.Settings);
    m_keptOptions.Save(store, *this);
}

bool TSDIAppForm::ShowFullCommunicationBox() const {
    return CheckBox1->isChecked();
}
bool TSDIAppForm::ShowComStatusBox() const {
    return CheckBox2->isChecked();
}
bool TSDIAppForm::ConfirmDataLoadingBox() const {
    return CheckBox3->isChecked();
}
bool TSDIAppForm::AlwaysFreezeBox() const {
    return CheckBox5->isChecked();
}
bool TSDIAppForm::OpenAtStartupBox() const {
    return CheckBox4->isChecked();
}
int32_t TSDIAppForm::CommandDelayBox() const {
    return Spin1->Value();
}
void TSDIAppForm::SetShowFullCommunicationBox(bool on) {
    CheckBox1->setChecked(on);
}
void TSDIAppForm::SetShowComStatusBox(bool on) {
    CheckBox2->setChecked(on);
    CheckBox2Click(CheckBox2);
}
void TSDIAppForm::SetConfirmDataLoadingBox(bool on) {
    CheckBox3->setChecked(on);
}
void TSDIAppForm::SetAlwaysFreezeBox(bool on) {
    CheckBox5->setChecked(on);
}
void TSDIAppForm::SetOpenAtStartupBox(bool on) {
    CheckBox4->setChecked(on);
}
void TSDIAppForm::SetCommandDelayBox(int32_t milliseconds) {
    Spin1->SetValue(milliseconds);
}

int32_t TSDIAppForm::PortCount() const {
    return DecPort->count();
}
int32_t TSDIAppForm::FindPort(const std::string& name) const {
    return DecPort->findText(QString::fromStdString(name),
                             Qt::MatchExactly | Qt::MatchCaseSensitive);
}
int32_t TSDIAppForm::ChosenPort() const {
    return DecPort->currentIndex();
}
std::string TSDIAppForm::ChosenPortName() const {
    return DecPort->Text().toStdString();
}
void TSDIAppForm::ChoosePort(int32_t index) {
    DecPort->setCurrentIndex(index);
}
void TSDIAppForm::UsePortChoice() {
    Dec->SetPort(DecPort->Text().toLocal8Bit().toStdString());
}
