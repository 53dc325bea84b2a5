#pragma once
// Whether a Windows transfer program run by Wine can reach its parallel cable at all, checked
// before a run starts. Under Wine such a program reaches the cable only by writing to LPT1,
// which the prefix maps to a device of this machine (the value LPT1 of
// HKLM\Software\Wine\Ports, or /dev/lp0 when there is none); only the kernel's printer device
// /dev/lp0 carries it. Direct use of the port's I/O addresses (port-access libraries, the
// driver giveio) cannot work under Wine, and a prefix that reports Windows 95, 98 or ME makes
// Wine emulate those instructions and drop every write.
//
// Nothing is started and the port is not touched: the program's file and the prefix's
// registry files are read, the mapped device is only looked at. All of them may be hostile:
// only regular files are read, the prefix's files not through links nor when another user
// than this one or root owns them, each with a size limit and lines with a length limit.
// A prefix that does not exist yet is one Wine makes at its first start with LPT1 on
// /dev/lp0: that default is checked.
//
// Linux only. Stateless; any thread (it reads the environment, which nothing may change then).

#include <string>
#include <vector>

// What stands in the way of a Windows transfer program reaching its parallel cable under Wine,
// found without starting anything or touching the port. One line per finding, UTF-8, each
// naming the cause and the fix; empty when nothing was found.
std::vector<std::string> WineRouteFindings(const std::string& program, const std::string& prefix);

// The prefix Wine uses: $WINEPREFIX when set and absolute, otherwise $HOME/.wine (the home
// folder of the user's account when HOME is not set or not absolute; "" when there is none).
std::string WinePrefixFolder();
