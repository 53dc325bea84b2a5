#pragma once
// The serial port component. It owns the device handle of one port and its four settings
// groups, opens, configures and closes the device, reads and writes, and, while open with
// events wanted, runs one event thread that hands line events to the owner's handlers.
//
// Threads: every method runs on the UI thread, except the handlers under smNone, which run on
// the event thread. Reads and writes block the calling thread until they end, bounded by the
// port's time-outs. Failures are raised as EComPort and never retried.
//
// No platform type shows here: the device handle is an opaque THandle, the asynchronous record
// is opaque, and what the port gives the platform layer (ComPortPlatform.h) stays in serial/.

#include "serial/ComError.h"
#include "serial/ComLink.h"
#include "serial/ComSettings.h"
#include "serial/ComTypes.h"
#include "serial/Component.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TComThread;
class TComWindow;

// The record of one overlapped read or write, opaque to the port's users. Owned by whoever
// called InitAsync; released only by DoneAsync. Must not be shared between threads.
struct TAsync;
using PAsync = TAsync*;

// Allocates a zeroed record whose event starts signalled, so waiting on a record on which
// nothing was started returns 0 at once.
void InitAsync(PAsync& AsyncPtr);
void DoneAsync(PAsync& AsyncPtr);

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TRxCharEvent = std::function<void(TObject* Sender, int32_t Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const char* Buffer, int32_t Count)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;

class TCustomComPort : public TComponent {
public:
    explicit TCustomComPort(TComponent* owner);
    TCustomComPort(const TCustomComPort&) = delete; // owns the device handle and its thread
    TCustomComPort& operator=(const TCustomComPort&) = delete;
    ~TCustomComPort() override;

    const char* ClassName() const override { return "TCustomComPort"; }

    // --- Open and close -------------------------------------------------------------------
    void Open();
    void Close();
    bool Connected() const { return FConnected; }
    void SetConnected(bool value);
    void Loaded() override;

    void BeginUpdate();
    void EndUpdate();

    // --- Properties -----------------------------------------------------------------------
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    int32_t CustomBaudRate() const { return FCustomBaudRate; }
    void SetCustomBaudRate(int32_t value);
    const std::string& Port() const { return FPort; }
    void SetPort(const std::string& value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return FDiscardNull; }
    void SetDiscardNull(bool value);
    char EventChar() const { return FEventChar; }
    void SetEventChar(char value);
    // Stored only: an open port keeps the mask its event thread set until it is reopened.
    TComEvents Events;
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    void SetSyncMethod(TSyncMethod value);
    bool TriggersOnRxChar() const { return GetTriggersOnRxChar(); }
    bool GetTriggersOnRxChar() const;
    void SetTriggersOnRxChar(bool value);

    TComBuffer& Buffer() { return *FBuffer; }
    TComParity& Parity() { return *FParity; }
    TComTimeouts& Timeouts() { return *FTimeouts; }
    TComFlowControl& FlowControl() { return *FFlowControl; }
    const TComBuffer& Buffer() const { return *FBuffer; }
    const TComParity& Parity() const { return *FParity; }
    const TComTimeouts& Timeouts() const { return *FTimeouts; }
    const TComFlowControl& FlowControl() const { return *FFlowControl; }
    // Copy a whole group, then apply it once.
    void SetBuffer(const TComBuffer& value);
    void SetParity(const TComParity& value);
    void SetTimeouts(const TComTimeouts& value);
    void SetFlowControl(const TComFlowControl& value);

    THandle Handle() const { return FHandle; }
    TComWindow* Window() const { return FWindow; }
    // The system's id of the open port's event thread once it runs; 0 without one.
    uint32_t EventThreadId() const;

    // --- Reading and writing --------------------------------------------------------------
    int32_t Write(const void* Buffer, int32_t Count);
    int32_t WriteStr(const std::string& Str);
    int32_t Read(void* Buffer, int32_t Count);
    int32_t ReadStr(std::string& Str, int32_t Count);
    int32_t WriteAsync(const void* Buffer, int32_t Count, PAsync& AsyncPtr);
    int32_t WriteStrAsync(const std::string& Str, PAsync& AsyncPtr);
    int32_t ReadAsync(void* Buffer, int32_t Count, PAsync& AsyncPtr);
    int32_t ReadStrAsync(std::string& Str, int32_t Count, PAsync& AsyncPtr);
    int32_t WaitForAsync(PAsync& AsyncPtr);
    bool IsAsyncCompleted(PAsync AsyncPtr);
    void AbortAllAsync();

    // --- Queries and line control ---------------------------------------------------------
    int32_t InputCount();
    int32_t OutputCount();
    TComSignals Signals();
    TComHoldFlags StateFlags();
    TComErrors LastErrors();
    void SetBreak(bool OnOff);
    void SetDTR(bool OnOff);
    void SetRTS(bool OnOff);
    void SetXonXoff(bool OnOff);
    void ClearBuffer(bool Input, bool Output);
    void TransmitChar(char Ch);
    // Only without an event thread (Events empty at Open).
    void WaitForEvent(TComEvents& Events, THandle StopEvent, int32_t Timeout);

    // --- Links ----------------------------------------------------------------------------
    void RegisterLink(TComLink* AComLink);
    void UnRegisterLink(TComLink* AComLink);
    bool HasRxBufLink() const { return FHasRxBufLink; }

    // --- Event dispatch entry points (called by the event thread's hand-over) --------------
    void CallAfterOpen();
    void CallAfterClose();
    void CallBeforeOpen();
    void CallBeforeClose();
    void CallRxChar();
    void CallTxEmpty();
    void CallBreak();
    void CallRing();
    void CallRxFlag();
    void CallCTSChange();
    void CallDSRChange();
    void CallRLSDChange();
    void CallError();
    void CallRx80Full();
    // The hidden window's handler: message 0x0401 selects the entry point by its parameter
    // (an event's mask bit); a failure in a handler is reported, not passed back.
    static constexpr uint32_t ComWindowMessage = 0x0401;
    intptr_t WindowMethod(uint32_t Msg, uintptr_t WParam, intptr_t LParam);
    // Calls the entry point of one event, given by its mask bit; other bits do nothing.
    void DispatchEvent(uint32_t maskBit);

    // --- Handlers -------------------------------------------------------------------------
    TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
    TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
    TComErrorEvent OnError;

    // Creates the device handle and closes it; nothing else.
    virtual void CreateHandle();
    virtual void DestroyHandle();
    // ApplyBuffer, then ApplyDCB, then ApplyTimeouts.
    virtual void SetupComPort();

    virtual void ApplyDCB();
    virtual void ApplyTimeouts();
    virtual void ApplyBuffer();

protected:
    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(int32_t Count);
    virtual void DoRxBuf(const char* Buffer, int32_t Count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool OnOff);
    virtual void DoDSRChange(bool OnOff);
    virtual void DoError(TComErrors Errors);
    virtual void DoRLSDChange(bool OnOff);
    virtual void DoRx80Full();

    void SendSignalToLink(TComLinkEvent Signal, bool OnOff);
    void NotifyLink(TComLinkEvent Event);
    void TxNotifyLink(const char* Buffer, int32_t Count);
    void CheckSignals(bool Open);
    bool HasLink() const;

    // Fields named after the component's published properties (FBaudRate behind BaudRate), so
    // that the component and the code that uses it read alike.
    std::unique_ptr<TComThread> FEventThread;
    bool FThreadCreated = false;
    THandle FHandle = InvalidComHandle;
    TComWindow* FWindow = nullptr;
    int32_t FUpdateCount = 0;
    std::vector<TComLink*> FLinks;
    bool FTriggersOnRxChar = true;
    bool FHasRxBufLink = false;
    bool FConnected = false;
    TBaudRate FBaudRate = br9600;
    int32_t FCustomBaudRate = 9600;
    std::string FPort = "COM1";
    TStopBits FStopBits = sbOneStopBit;
    TDataBits FDataBits = dbEight;
    bool FDiscardNull = false;
    char FEventChar = 0;
    TSyncMethod FSyncMethod = smThreadSync;
    std::unique_ptr<TComParity> FParity;
    std::unique_ptr<TComFlowControl> FFlowControl;
    std::unique_ptr<TComTimeouts> FTimeouts;
    std::unique_ptr<TComBuffer> FBuffer;

private:
    bool CanApply() const;
    // Destroys the event thread, or abandons it when called from inside its own hand-over,
    // and the hidden window.
    void StopEventThread();
    // Calls `call` for every link registered when the walk began, in list order, skipping those
    // unregistered since; stops when the port is closed or opened under the walk.
    template <class Call> void WalkLinks(Call call);

    // A walk over the links under way: the index of the next link and the end, both kept right
    // by UnRegisterLink.
    struct TLinkCursor {
        size_t next, end;
    };
    std::vector<TLinkCursor*> m_cursors;
    // Counts opens and closes: a notification begun under one value no longer holds under
    // another, and the rest of it is dropped.
    std::atomic<uint32_t> m_session{0};
    bool m_closing = false; // a close under way: asked for again, it is that close
};

// The same component, as the window's form description uses it.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
    const char* ClassName() const override { return "TComPort"; }
};
