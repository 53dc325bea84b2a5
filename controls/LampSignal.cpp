#include "controls/LampSignal.h"

#include "serial/ComPort.h"

namespace LampSignal {

void Follow(TComLink& link, TComLedSignal signal, const std::function<void(bool on)>& change,
            const std::function<void()>& ring) {
    link = TComLink{};
    const auto line = [change](TObject*, bool on) { change(on); };
    switch (signal) {
    case lsConn: link.OnConn = line; break;
    case lsCTS: link.OnCTSChange = line; break;
    case lsDSR: link.OnDSRChange = line; break;
    case lsRLSD: link.OnRLSDChange = line; break;
    case lsRx: link.OnRx = line; break;
    case lsTx: link.OnTx = line; break;
    case lsRing: link.OnRing = [ring](TObject*) { ring(); }; break;
    }
}

bool IsOn(TComPort* port, TComLedSignal signal) {
    if (port == nullptr || !port->Connected())
        return false;
    switch (signal) {
    case lsConn: return true;
    case lsCTS: return port->Signals().Contains(csCTS);
    case lsDSR: return port->Signals().Contains(csDSR);
    case lsRLSD: return port->Signals().Contains(csRLSD);
    case lsRing:
    case lsRx:
    case lsTx: return false;
    }
    return false;
}

} // namespace LampSignal
