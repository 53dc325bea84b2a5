// Turning line events and the port's own open and close steps into calls of the owner's
// handlers and notifications of the linked controls.

#include "serial/ComPort.h"
#include "serial/ExceptionHandler.h"
#include "serial/platform/CommApi.h"

#include <algorithm>
#include <memory>

// --- Overridable notifications: each calls its handler, if assigned -------------------------

void TCustomComPort::DoAfterClose() {
    if (OnAfterClose)
        OnAfterClose(this);
}
void TCustomComPort::DoAfterOpen() {
    if (OnAfterOpen)
        OnAfterOpen(this);
}
void TCustomComPort::DoBeforeClose() {
    if (OnBeforeClose)
        OnBeforeClose(this);
}
void TCustomComPort::DoBeforeOpen() {
    if (OnBeforeOpen)
        OnBeforeOpen(this);
}
void TCustomComPort::DoRxChar(int32_t Count) {
    if (OnRxChar)
        OnRxChar(this, Count);
}
void TCustomComPort::DoRxBuf(const char* Buffer, int32_t Count) {
    if (OnRxBuf)
        OnRxBuf(this, Buffer, Count);
}
void TCustomComPort::DoTxEmpty() {
    if (OnTxEmpty)
        OnTxEmpty(this);
}
void TCustomComPort::DoBreak() {
    if (OnBreak)
        OnBreak(this);
}
void TCustomComPort::DoRing() {
    if (OnRing)
        OnRing(this);
}
void TCustomComPort::DoRxFlag() {
    if (OnRxFlag)
        OnRxFlag(this);
}
void TCustomComPort::DoCTSChange(bool OnOff) {
    if (OnCTSChange)
        OnCTSChange(this, OnOff);
}
void TCustomComPort::DoDSRChange(bool OnOff) {
    if (OnDSRChange)
        OnDSRChange(this, OnOff);
}
void TCustomComPort::DoError(TComErrors Errors) {
    if (OnError)
        OnError(this, Errors);
}
void TCustomComPort::DoRLSDChange(bool OnOff) {
    if (OnRLSDChange)
        OnRLSDChange(this, OnOff);
}
void TCustomComPort::DoRx80Full() {
    if (OnRx80Full)
        OnRx80Full(this);
}

// --- Links ------------------------------------------------------------------------------------

void TCustomComPort::RegisterLink(TComLink* AComLink) {
    if (std::find(FLinks.begin(), FLinks.end(), AComLink) != FLinks.end())
        throw EComPort(CError_RegFailed);
    FLinks.push_back(AComLink);
    FHasRxBufLink = HasLink();
}

void TCustomComPort::UnRegisterLink(TComLink* AComLink) {
    const auto found = std::find(FLinks.begin(), FLinks.end(), AComLink);
    if (found == FLinks.end())
        throw EComPort(CError_RegFailed);
    const size_t index = size_t(found - FLinks.begin());
    FLinks.erase(found);
    // A walk under way goes on with the link after the one it is at, and never reaches this
    // one: its owner may free it as soon as this returns.
    for (TLinkCursor* cursor : m_cursors) {
        if (index < cursor->next)
            --cursor->next;
        if (index < cursor->end)
            --cursor->end;
    }
    FHasRxBufLink = HasLink();
}

bool TCustomComPort::HasLink() const {
    return std::any_of(FLinks.begin(), FLinks.end(),
                       [](const TComLink* link) { return bool(link->OnRxBuf); });
}

namespace {

TComLink::TSignal TComLink::*SignalSlot(TComLinkEvent event) {
    switch (event) {
    case leConn: return &TComLink::OnConn;
    case leCTS: return &TComLink::OnCTSChange;
    case leDSR: return &TComLink::OnDSRChange;
    case leRLSD: return &TComLink::OnRLSDChange;
    case leRx: return &TComLink::OnRx;
    case leTx: return &TComLink::OnTx;
    default: return nullptr;
    }
}

TComLink::TNotify TComLink::*NotifySlot(TComLinkEvent event) {
    switch (event) {
    case leRing: return &TComLink::OnRing;
    case leTxEmpty: return &TComLink::OnTxEmpty;
    case leRxFlag: return &TComLink::OnRxFlag;
    default: return nullptr;
    }
}

} // namespace

// A handler may unregister links (and free them), register links, and close or open the port
// while the list is walked: the walk follows the live list and stops when the port's state it
// reports no longer holds.
template <class Call> void TCustomComPort::WalkLinks(Call call) {
    const uint32_t session = m_session;
    TLinkCursor cursor{0, FLinks.size()};
    m_cursors.push_back(&cursor);
    struct TDone {
        TDone(std::vector<TLinkCursor*>& all, TLinkCursor* own) : cursors(all), mine(own) {}
        TDone(const TDone&) = delete;
        TDone& operator=(const TDone&) = delete;
        ~TDone() { std::erase(cursors, mine); }
        std::vector<TLinkCursor*>& cursors;
        TLinkCursor* mine;
    } done{m_cursors, &cursor};
    while (cursor.next < cursor.end && session == m_session)
        call(FLinks[cursor.next++]);
}

void TCustomComPort::SendSignalToLink(TComLinkEvent Signal, bool OnOff) {
    const auto slot = SignalSlot(Signal);
    if (slot == nullptr)
        return;
    WalkLinks([&](TComLink* link) {
        if (link->*slot)
            (link->*slot)(this, OnOff);
    });
}

void TCustomComPort::NotifyLink(TComLinkEvent Event) {
    const auto slot = NotifySlot(Event);
    if (slot == nullptr)
        return;
    WalkLinks([&](TComLink* link) {
        if (link->*slot)
            (link->*slot)(this);
    });
}

void TCustomComPort::TxNotifyLink(const char* Buffer, int32_t Count) {
    WalkLinks([&](TComLink* link) {
        if (link->OnTxBuf)
            link->OnTxBuf(this, Buffer, Count);
    });
}

// Each entry point below drops the rest of its steps once a handler has closed or opened the
// port (a lamp lets a click through while it shows a change): they report a state gone by.

void TCustomComPort::CheckSignals(bool Open) {
    if (Open) {
        const uint32_t session = m_session;
        CallCTSChange();
        if (session == m_session)
            CallDSRChange();
        if (session == m_session)
            CallRLSDChange();
        return;
    }
    SendSignalToLink(leCTS, false);
    SendSignalToLink(leDSR, false);
    SendSignalToLink(leRLSD, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
}

// --- Entry points -----------------------------------------------------------------------------

void TCustomComPort::CallBeforeOpen() {
    DoBeforeOpen();
}

void TCustomComPort::CallAfterOpen() {
    const uint32_t session = m_session;
    SendSignalToLink(leConn, true);
    if (session == m_session)
        DoAfterOpen();
    if (session == m_session)
        CheckSignals(true);
}

void TCustomComPort::CallBeforeClose() {
    CheckSignals(false);
    DoBeforeClose();
}

void TCustomComPort::CallAfterClose() {
    const uint32_t session = m_session;
    SendSignalToLink(leConn, false);
    if (session == m_session)
        DoAfterClose();
}

void TCustomComPort::CallRxChar() {
    const uint32_t session = m_session;
    int32_t count = InputCount();
    if (count > 0)
        SendSignalToLink(leRx, true);
    if (session != m_session)
        return;
    if (count > 0 && !GetTriggersOnRxChar()) {
        // The data goes to the buffer handlers: read once, before the first of them.
        std::unique_ptr<char[]> buffer;
        auto readOnce = [&] {
            if (buffer)
                return;
            buffer = std::make_unique<char[]>(size_t(count));
            Read(buffer.get(), count);
            DoRxBuf(buffer.get(), count);
        };
        try {
            WalkLinks([&](TComLink* link) {
                if (!link->OnRxBuf)
                    return;
                readOnce();
                if (session == m_session)
                    link->OnRxBuf(this, buffer.get(), count);
            });
            if (!buffer && !FTriggersOnRxChar && session == m_session)
                readOnce();
        } catch (...) {
            if (buffer)
                count = 0;
            throw;
        }
        if (buffer)
            count = 0;
    }
    if (count > 0 && session == m_session)
        DoRxChar(count);
}

void TCustomComPort::CallTxEmpty() {
    const uint32_t session = m_session;
    SendSignalToLink(leTx, false);
    if (session == m_session)
        NotifyLink(leTxEmpty);
    if (session == m_session)
        DoTxEmpty();
}

void TCustomComPort::CallBreak() {
    DoBreak();
}

void TCustomComPort::CallRing() {
    const uint32_t session = m_session;
    NotifyLink(leRing);
    if (session == m_session)
        DoRing();
}

void TCustomComPort::CallRxFlag() {
    const uint32_t session = m_session;
    NotifyLink(leRxFlag);
    if (session == m_session)
        DoRxFlag();
}

void TCustomComPort::CallCTSChange() {
    const uint32_t session = m_session;
    const bool onOff = Signals().Contains(csCTS);
    SendSignalToLink(leCTS, onOff);
    if (session == m_session)
        DoCTSChange(onOff);
}

void TCustomComPort::CallDSRChange() {
    const uint32_t session = m_session;
    const bool onOff = Signals().Contains(csDSR);
    SendSignalToLink(leDSR, onOff);
    if (session == m_session)
        DoDSRChange(onOff);
}

void TCustomComPort::CallRLSDChange() {
    const uint32_t session = m_session;
    const bool onOff = Signals().Contains(csRLSD);
    SendSignalToLink(leRLSD, onOff);
    if (session == m_session)
        DoRLSDChange(onOff);
}

void TCustomComPort::CallError() {
    const TComErrors errors = LastErrors();
    if (!errors.Empty())
        DoError(errors);
}

void TCustomComPort::CallRx80Full() {
    DoRx80Full();
}

intptr_t TCustomComPort::WindowMethod(uint32_t Msg, uintptr_t WParam, intptr_t) {
    if (Msg != ComWindowMessage)
        return 0;
    try {
        DispatchEvent(uint32_t(WParam));
    } catch (...) {
        HandleException(this);
    }
    return 0;
}

void TCustomComPort::DispatchEvent(uint32_t maskBit) {
    switch (maskBit) {
    case Platform::EV_RXCHAR: CallRxChar(); break;
    case Platform::EV_RXFLAG: CallRxFlag(); break;
    case Platform::EV_TXEMPTY: CallTxEmpty(); break;
    case Platform::EV_CTS: CallCTSChange(); break;
    case Platform::EV_DSR: CallDSRChange(); break;
    case Platform::EV_RLSD: CallRLSDChange(); break;
    case Platform::EV_BREAK: CallBreak(); break;
    case Platform::EV_ERR: CallError(); break;
    case Platform::EV_RING: CallRing(); break;
    case Platform::EV_RX80FULL: CallRx80Full(); break;
    default: break;
    }
}
