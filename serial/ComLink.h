#pragma once
// A link: the bundle of notification slots through which a control (a lamp, say) follows a
// port. The control creates, fills and frees it; the port only calls the assigned slots, in
// registration order.

#include "serial/ComTypes.h"

#include <cstdint>
#include <functional>

class TObject;

enum TComLinkEvent : uint8_t {
    leConn,
    leCTS,
    leDSR,
    leRLSD,
    leRing,
    leRx,
    leTx,
    leTxEmpty,
    leRxFlag
};

struct TComLink {
    using TSignal = std::function<void(TObject* Sender, bool OnOff)>;
    using TBuf = std::function<void(TObject* Sender, const char* Buffer, int32_t Count)>;
    using TNotify = std::function<void(TObject* Sender)>;

    TSignal OnConn;
    TBuf OnRxBuf;
    TBuf OnTxBuf;
    TNotify OnTxEmpty;
    TNotify OnRxFlag;
    TSignal OnCTSChange;
    TSignal OnDSRChange;
    TSignal OnRLSDChange;
    TNotify OnRing;
    TSignal OnTx;
    TSignal OnRx;
};
