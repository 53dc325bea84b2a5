// The port's life: construction, open and close, the device configuration, the property
// setters, and the notifications of the open and close sequences.

#include "serial/ComPort.h"

#include "serial/ComPortPlatform.h"
#include "serial/ComThread.h"
#include "serial/ExceptionHandler.h"
#include "serial/platform/CommApi.h"

#include <algorithm>
#include <optional>

using namespace Platform;

TCustomComPort::TCustomComPort(TComponent* owner) : TComponent(owner), Events(AllComEvents) {
    FParity = std::make_unique<TComParity>();
    FParity->SetComPort(this);
    FFlowControl = std::make_unique<TComFlowControl>();
    FFlowControl->SetComPort(this);
    FTimeouts = std::make_unique<TComTimeouts>();
    FTimeouts->SetComPort(this);
    FBuffer = std::make_unique<TComBuffer>();
    FBuffer->SetComPort(this);
}

TCustomComPort::~TCustomComPort() {
    // A failure while closing must not leave a destructor: the handle is released regardless.
    // Here the close runs this class's own DestroyHandle and notifications, never a derived
    // class's overrides (that part is gone): a class overriding them closes in its destructor.
    try {
        Close();
    } catch (...) {
        StopEventThread();
        DestroyHandle();
        FConnected = false;
    }
    FBuffer.reset();
    FFlowControl.reset();
    FTimeouts.reset();
    FParity.reset();
    SendRemovalNotices(); // the links are still here for those who unregister
}

uint32_t TCustomComPort::EventThreadId() const {
    return FEventThread ? FEventThread->ThreadId() : 0;
}

// --- Open and close ---------------------------------------------------------------------------

void TCustomComPort::CreateHandle() {
    const std::string path = "\\\\.\\" + FPort;
    FHandle = CreateFile(path.c_str());
    if (FHandle == INVALID_HANDLE_VALUE) {
        const auto code = int32_t(GetLastError());
        if (const std::optional<TOpenFailureReason> reason = Platform::OpenFailureReason())
            throw EComPort(CError_OpenFailed, code, *reason);
        throw EComPort(CError_OpenFailed, code);
    }
}

void TCustomComPort::DestroyHandle() {
    if (FHandle != INVALID_HANDLE_VALUE)
        CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
}

void TCustomComPort::Open() {
    if (FConnected || Designing())
        return;
    CallBeforeOpen();
    CreateHandle();
    FConnected = true;
    ++m_session;
    try {
        SetupComPort();
    } catch (...) {
        DestroyHandle();
        FConnected = false;
        throw;
    }
    if (Events.Empty()) {
        FThreadCreated = false;
    } else {
        if (FSyncMethod == smWindowSync)
            FWindow = TComWindow::Create(this);
        FEventThread = std::make_unique<TComThread>(this);
        FThreadCreated = true;
    }
    CallAfterOpen();
}

void TCustomComPort::Close() {
    // A handler reached by a close (a lamp that lets a click through, a hand-over served while
    // the close waits for its thread) may close again: that is the close under way.
    if (!FConnected || Designing() || m_closing)
        return;
    m_closing = true;
    try {
        CallBeforeClose();
        AbortAllAsync();
    } catch (...) {
        m_closing = false;
        throw;
    }
    ++m_session;
    StopEventThread();
    DestroyHandle(); // NOLINT(clang-analyzer-optin.cplusplus.VirtualCall): see the destructor
    FConnected = false;
    m_closing = false;
    CallAfterClose();
}

void TCustomComPort::StopEventThread() {
    if (!FThreadCreated)
        return;
    // Inside the thread's own hand-over the thread waits for this very call: waiting for it
    // would never end.
    if (FEventThread->HandOverRunsHere())
        FEventThread.release()->Abandon(); // the thread frees itself when it ends
    else
        FEventThread.reset(); // stops the thread and waits for its end, serving its hand-overs
    FThreadCreated = false;
    if (FWindow != nullptr) {
        TComWindow::Destroy(FWindow);
        FWindow = nullptr;
    }
}

void TCustomComPort::SetConnected(bool value) {
    if (Loading() || Designing()) {
        FConnected = value;
        return;
    }
    if (value != FConnected) {
        if (value)
            Open();
        else
            Close();
    }
}

void TCustomComPort::Loaded() {
    TComponent::Loaded();
    if (FConnected && !Designing()) {
        FConnected = false;
        try {
            Open();
        } catch (...) {
            HandleException(this);
        }
    }
}

// --- Device configuration ---------------------------------------------------------------------

bool TCustomComPort::CanApply() const {
    return FConnected && FUpdateCount == 0 && !Designing() && !Loading();
}

void TCustomComPort::SetupComPort() {
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
}

void TCustomComPort::ApplyBuffer() {
    if (!CanApply())
        return;
    if (!SetupComm(FHandle, DWORD(FBuffer->InputSize()), DWORD(FBuffer->OutputSize())))
        throw EComPort(CError_SetupComFailed, int32_t(GetLastError()));
}

void TCustomComPort::ApplyTimeouts() {
    if (!CanApply())
        return;
    // -1 goes to the device as all bits set; every other value as it is.
    const COMMTIMEOUTS timeouts{
        DWORD(FTimeouts->ReadInterval()), DWORD(FTimeouts->ReadTotalMultiplier()),
        DWORD(FTimeouts->ReadTotalConstant()), DWORD(FTimeouts->WriteTotalMultiplier()),
        DWORD(FTimeouts->WriteTotalConstant())};
    if (!SetCommTimeouts(FHandle, timeouts))
        throw EComPort(CError_TimeoutsFailed, int32_t(GetLastError()));
}

void TCustomComPort::ApplyDCB() {
    if (!CanApply())
        return;
    if (!SetCommState(FHandle, BuildDCB(*this)))
        throw EComPort(CError_SetStateFailed, int32_t(GetLastError()));
}

DCB BuildDCB(const TCustomComPort& port) {
    const TComParity& parity = port.Parity();
    const TComFlowControl& flow = port.FlowControl();
    DCB dcb; // every field not set below stays zero
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate =
        DWORD(port.BaudRate() == brCustom ? port.CustomBaudRate() : BaudRateValue(port.BaudRate()));
    const bool replace = parity.Check() && parity.Replace();
    DWORD flags = DCB_BINARY;
    if (parity.Check())
        flags |= DCB_PARITY;
    if (flow.OutCTSFlow())
        flags |= DCB_OUTX_CTS_FLOW;
    if (flow.OutDSRFlow())
        flags |= DCB_OUTX_DSR_FLOW;
    flags |= DWORD(flow.ControlDTR()) << DCB_DTR_CONTROL_SHIFT;
    if (flow.DSRSensitivity())
        flags |= DCB_DSR_SENSITIVITY;
    if (flow.TxContinueOnXoff())
        flags |= DCB_TX_CONTINUE_ON_XOFF;
    if (flow.XonXoffOut())
        flags |= DCB_OUTX;
    if (flow.XonXoffIn())
        flags |= DCB_INX;
    if (replace)
        flags |= DCB_ERROR_CHAR;
    if (port.DiscardNull())
        flags |= DCB_NULL;
    flags |= DWORD(flow.ControlRTS()) << DCB_RTS_CONTROL_SHIFT;
    dcb.Flags = flags;
    dcb.XonLim = uint16_t(port.Buffer().InputSize() / 4);
    dcb.XoffLim = uint16_t(port.Buffer().InputSize() / 4);
    dcb.ByteSize = uint8_t(5 + int(port.DataBits()));
    dcb.Parity = uint8_t(parity.Bits());
    dcb.StopBits = uint8_t(port.StopBits());
    dcb.XonChar = flow.XonChar();
    dcb.XoffChar = flow.XoffChar();
    dcb.ErrorChar = replace ? parity.ReplaceChar() : 0;
    dcb.EofChar = 0;
    dcb.EvtChar = port.EventChar();
    return dcb;
}

void TCustomComPort::BeginUpdate() {
    ++FUpdateCount;
}

void TCustomComPort::EndUpdate() {
    if (FUpdateCount <= 0)
        return;
    if (--FUpdateCount == 0)
        SetupComPort();
}

// --- Property setters -------------------------------------------------------------------------

namespace {

// Stores a changed value and re-applies the device control block.
template <class T> void SetAndApply(TCustomComPort& port, T& field, T value) {
    if (field == value)
        return;
    field = value;
    port.ApplyDCB();
}

} // namespace

void TCustomComPort::SetBaudRate(TBaudRate value) {
    SetAndApply(*this, FBaudRate, value);
}
void TCustomComPort::SetCustomBaudRate(int32_t value) {
    SetAndApply(*this, FCustomBaudRate, value);
}
void TCustomComPort::SetDataBits(TDataBits value) {
    SetAndApply(*this, FDataBits, value);
}
void TCustomComPort::SetStopBits(TStopBits value) {
    SetAndApply(*this, FStopBits, value);
}
void TCustomComPort::SetDiscardNull(bool value) {
    SetAndApply(*this, FDiscardNull, value);
}
void TCustomComPort::SetEventChar(char value) {
    SetAndApply(*this, FEventChar, value);
}

void TCustomComPort::SetPort(const std::string& value) {
    if (value == FPort)
        return;
    FPort = value;
    if (FConnected && !Loading() && !Designing()) {
        Close();
        Open();
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (value == FSyncMethod)
        return;
    if (FConnected && !Loading() && !Designing())
        throw EComPort(CError_SyncMeth);
    FSyncMethod = value;
}

bool TCustomComPort::GetTriggersOnRxChar() const {
    return FTriggersOnRxChar && !FHasRxBufLink;
}

void TCustomComPort::SetTriggersOnRxChar(bool value) {
    if (FHasRxBufLink)
        throw EComPort(CError_HasLink);
    FTriggersOnRxChar = value;
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
    FFlowControl->Assign(value);
    ApplyDCB();
}

void TCustomComPort::SetParity(const TComParity& value) {
    FParity->Assign(value);
    ApplyDCB();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
    FTimeouts->Assign(value);
    ApplyTimeouts();
}

void TCustomComPort::SetBuffer(const TComBuffer& value) {
    FBuffer->Assign(value);
    ApplyBuffer();
}
