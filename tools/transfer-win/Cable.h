#pragma once
// Which way the stand-in delivers the image, chosen by VELL_STANDIN_CABLE:
//
//   not set   the receiver simulator's loopback TCP way in (StandInTarget.h)
//   LPT1..9   the DOS device of a parallel port: CreateFile + WriteFile, the one way to a
//             parallel cable that works under Wine (its prefix maps LPTn to a Unix file)
//   ports     direct port instructions to 0x378, as old transfer programs do; under Wine the
//             program ends with "privileged instruction" (0xC0000096) at the first byte
//   inpout    the port-access library inpout32.dll, in the build that imports it only
//
// Anything else is refused, with the reason.

#include <string>

enum class TCableKind { Tcp, Lpt, Ports, Inpout, Refused };

struct TCable {
    TCableKind Kind = TCableKind::Tcp;
    std::wstring Device; // Lpt: the DOS device name, as "LPT1"
    std::string Problem; // Refused: why
};

// From the value of VELL_STANDIN_CABLE; none: not set.
TCable CableOf(const std::wstring* value);
// From the environment.
TCable ChosenCable();
