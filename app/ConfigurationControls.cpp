#include "app/ConfigurationControls.h"

#include "app/CSpinEdit.h"
#include "controls/ComComboBox.h"
#include "serial/ComPort.h"

#include <QCheckBox>

bool TConfigurationControls::ShowFullCommunicationBox() const {
    return m_c.fullCommunication->isChecked();
}
bool TConfigurationControls::ShowComStatusBox() const {
    return m_c.comStatus->isChecked();
}
bool TConfigurationControls::ConfirmDataLoadingBox() const {
    return m_c.confirmLoading->isChecked();
}
bool TConfigurationControls::AlwaysFreezeBox() const {
    return m_c.alwaysFreeze->isChecked();
}
bool TConfigurationControls::OpenAtStartupBox() const {
    return m_c.openAtStartup->isChecked();
}
int32_t TConfigurationControls::CommandDelayBox() const {
    return m_c.commandDelay->Value();
}
void TConfigurationControls::SetShowFullCommunicationBox(bool on) {
    m_c.fullCommunication->setChecked(on);
}
void TConfigurationControls::SetShowComStatusBox(bool on) {
    m_c.comStatus->setChecked(on);
    m_c.comStatusClicked();
}
void TConfigurationControls::SetConfirmDataLoadingBox(bool on) {
    m_c.confirmLoading->setChecked(on);
}
void TConfigurationControls::SetAlwaysFreezeBox(bool on) {
    m_c.alwaysFreeze->setChecked(on);
}
void TConfigurationControls::SetOpenAtStartupBox(bool on) {
    m_c.openAtStartup->setChecked(on);
}
void TConfigurationControls::SetCommandDelayBox(int32_t milliseconds) {
    m_c.commandDelay->SetValue(milliseconds);
}

int32_t TConfigurationControls::PortCount() const {
    return m_c.portList->count();
}
int32_t TConfigurationControls::FindPort(const std::string& name) const {
    return m_c.portList->findText(QString::fromStdString(name),
                                  Qt::MatchExactly | Qt::MatchCaseSensitive);
}
int32_t TConfigurationControls::ChosenPort() const {
    return m_c.portList->currentIndex();
}
std::string TConfigurationControls::ChosenPortName() const {
    return m_c.portList->Text().toStdString();
}
void TConfigurationControls::ChoosePort(int32_t index) {
    m_c.portList->setCurrentIndex(index);
}
void TConfigurationControls::UsePortChoice() {
    m_c.port->SetPort(m_c.portList->Text().toLocal8Bit().toStdString());
}
