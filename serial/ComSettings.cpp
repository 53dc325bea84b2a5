#include "serial/ComSettings.h"

#include "serial/ComPort.h"

namespace {

// Stores value in field when it differs; true when something changed, so the caller applies.
template <class T> bool Store(T& field, T value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

// --- TComTimeouts ---------------------------------------------------------------------------

// The port decides whether applying reaches a device (closed, loading, updating...); a group
// only reports that it changed. A failure raised there reaches the caller of the setter, and
// the value stays stored so that the next open uses it.
void TComTimeouts::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyTimeouts();
}

void TComTimeouts::SetReadInterval(int32_t value) {
    if (Store(FReadInterval, value))
        Changed();
}

void TComTimeouts::SetReadTotalM(int32_t value) {
    if (Store(FReadTotalMultiplier, value))
        Changed();
}

void TComTimeouts::SetReadTotalC(int32_t value) {
    if (Store(FReadTotalConstant, value))
        Changed();
}

void TComTimeouts::SetWriteTotalM(int32_t value) {
    if (Store(FWriteTotalMultiplier, value))
        Changed();
}

void TComTimeouts::SetWriteTotalC(int32_t value) {
    if (Store(FWriteTotalConstant, value))
        Changed();
}

// Copying a whole group goes field by field, not through the setters: the port that copies a
// group in (TCustomComPort::SetTimeouts) applies it once afterwards, not once per field.
void TComTimeouts::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComTimeouts*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->FReadInterval = FReadInterval;
    other->FReadTotalMultiplier = FReadTotalMultiplier;
    other->FReadTotalConstant = FReadTotalConstant;
    other->FWriteTotalMultiplier = FWriteTotalMultiplier;
    other->FWriteTotalConstant = FWriteTotalConstant;
}

// --- TComFlowControl ------------------------------------------------------------------------

void TComFlowControl::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyDCB();
}

void TComFlowControl::SetOutCTSFlow(bool value) {
    if (Store(FOutCTSFlow, value))
        Changed();
}

void TComFlowControl::SetOutDSRFlow(bool value) {
    if (Store(FOutDSRFlow, value))
        Changed();
}

void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
    if (Store(FControlDTR, value))
        Changed();
}

void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
    if (Store(FControlRTS, value))
        Changed();
}

void TComFlowControl::SetXonXoffOut(bool value) {
    if (Store(FXonXoffOut, value))
        Changed();
}

void TComFlowControl::SetXonXoffIn(bool value) {
    if (Store(FXonXoffIn, value))
        Changed();
}

void TComFlowControl::SetDSRSensitivity(bool value) {
    if (Store(FDSRSensitivity, value))
        Changed();
}

void TComFlowControl::SetTxContinueOnXoff(bool value) {
    if (Store(FTxContinueOnXoff, value))
        Changed();
}

void TComFlowControl::SetXonChar(char value) {
    if (Store(FXonChar, value))
        Changed();
}

void TComFlowControl::SetXoffChar(char value) {
    if (Store(FXoffChar, value))
        Changed();
}

// Only the four handshake fields name a summary; DTR, DSR and the characters are left to the
// user, so a receiver set up with DTR handshake still reads as fcNone.
TFlowControl TComFlowControl::GetFlowControl() const {
    if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcHardware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut)
        return fcSoftware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcNone;
    return fcCustom;
}

// The fields are written directly so that a change of summary reaches the device in one
// ApplyDCB, not one per field. It applies even when nothing changed: choosing a summary is how
// a user asks for the handshake to be set up again.
void TComFlowControl::SetFlowControl(TFlowControl value) {
    if (value == fcHardware || value == fcSoftware || value == fcNone) {
        FControlRTS = rtsDisable;
        FOutCTSFlow = false;
        FXonXoffIn = false;
        FXonXoffOut = false;
        if (value == fcHardware) {
            FControlRTS = rtsHandshake;
            FOutCTSFlow = true;
        } else if (value == fcSoftware) {
            FXonXoffIn = true;
            FXonXoffOut = true;
        }
    }
    Changed();
}

void TComFlowControl::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComFlowControl*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->FOutCTSFlow = FOutCTSFlow;
    other->FOutDSRFlow = FOutDSRFlow;
    other->FControlDTR = FControlDTR;
    other->FControlRTS = FControlRTS;
    other->FXonXoffOut = FXonXoffOut;
    other->FXonXoffIn = FXonXoffIn;
    other->FDSRSensitivity = FDSRSensitivity;
    other->FTxContinueOnXoff = FTxContinueOnXoff;
    other->FXonChar = FXonChar;
    other->FXoffChar = FXoffChar;
}

// --- TComParity -----------------------------------------------------------------------------

void TComParity::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyDCB();
}

void TComParity::SetBits(TParityBits value) {
    if (Store(FBits, value))
        Changed();
}

void TComParity::SetCheck(bool value) {
    if (Store(FCheck, value))
        Changed();
}

void TComParity::SetReplace(bool value) {
    if (Store(FReplace, value))
        Changed();
}

void TComParity::SetReplaceChar(char value) {
    if (Store(FReplaceChar, value))
        Changed();
}

void TComParity::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComParity*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->FBits = FBits;
    other->FCheck = FCheck;
    other->FReplace = FReplace;
    other->FReplaceChar = FReplaceChar;
}

// --- TComBuffer -----------------------------------------------------------------------------

namespace {

// Queue sizes are always even, so a size read back (and saved) is the one the port was set up
// with; lowering rather than raising never asks for more memory than was set. Zero and
// negative sizes are left for the port to judge.
// The comparison in the setters is made before this, against what was asked for: asking for
// 1025 while 1024 is stored re-applies 1024.
int32_t EvenSize(int32_t size) {
    return size > 0 && size % 2 != 0 ? size - 1 : size;
}

} // namespace

void TComBuffer::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyBuffer();
}

void TComBuffer::SetInputSize(int32_t value) {
    if (value == FInputSize)
        return;
    FInputSize = EvenSize(value);
    Changed();
}

void TComBuffer::SetOutputSize(int32_t value) {
    if (value == FOutputSize)
        return;
    FOutputSize = EvenSize(value);
    Changed();
}

void TComBuffer::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComBuffer*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->FInputSize = FInputSize;
    other->FOutputSize = FOutputSize;
}
