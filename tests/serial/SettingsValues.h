#pragma once
// Every field of a settings group set through its setter to something other than its default,
// each to a different value, so a setter or a copy that writes the wrong field shows; and the
// fields read back as one value that tests can compare.

#include "serial/ComSettings.h"

#include <tuple>

inline void FillTimeouts(TComTimeouts& t) { // 5 setters
    t.SetReadInterval(11);
    t.SetReadTotalM(12);
    t.SetReadTotalC(13);
    t.SetWriteTotalM(14);
    t.SetWriteTotalC(15);
}
inline auto Values(const TComTimeouts& t) {
    return std::tuple(t.ReadInterval(), t.ReadTotalMultiplier(), t.ReadTotalConstant(),
                      t.WriteTotalMultiplier(), t.WriteTotalConstant());
}
inline const auto FilledTimeouts = std::tuple(11, 12, 13, 14, 15);

inline void FillFlowControl(TComFlowControl& f) { // 9 setters; XonXoffIn stays off
    f.SetOutCTSFlow(true);
    f.SetOutDSRFlow(true);
    f.SetControlDTR(dtrHandshake);
    f.SetControlRTS(rtsToggle);
    f.SetXonXoffOut(true);
    f.SetDSRSensitivity(true);
    f.SetTxContinueOnXoff(true);
    f.SetXonChar('A');
    f.SetXoffChar('B');
}
inline auto Values(const TComFlowControl& f) {
    return std::tuple(f.OutCTSFlow(), f.OutDSRFlow(), f.ControlDTR(), f.ControlRTS(),
                      f.XonXoffOut(), f.XonXoffIn(), f.DSRSensitivity(), f.TxContinueOnXoff(),
                      f.XonChar(), f.XoffChar());
}
inline const auto FilledFlowControl =
    std::tuple(true, true, dtrHandshake, rtsToggle, true, false, true, true, 'A', 'B');

inline void FillParity(TComParity& p) { // 4 setters
    p.SetBits(prMark);
    p.SetCheck(true);
    p.SetReplace(true);
    p.SetReplaceChar('?');
}
inline auto Values(const TComParity& p) {
    return std::tuple(p.Bits(), p.Check(), p.Replace(), p.ReplaceChar());
}
inline const auto FilledParity = std::tuple(prMark, true, true, '?');
