#pragma once
// The texts a user sees and saves for the line settings, and back. Reading a text never
// fails: it ignores the case of letters a-z (nothing else: no trimming, no other separators)
// and falls back to the usual setting when nothing matches, so a damaged or foreign saved
// configuration still opens the port with something sensible.

#include "serial/ComTypes.h"

#include <string>

// Each ...ToStr gives "" for a value outside its enumeration.
// "Custom", "110" ... "256000".
std::string BaudRateToStr(TBaudRate value);
// "1", "1.5", "2".
std::string StopBitsToStr(TStopBits value);
// "5" ... "8".
std::string DataBitsToStr(TDataBits value);
// "None", "Odd", "Even", "Mark", "Space".
std::string ParityToStr(TParityBits value);
// "Hardware", "Software", "None", "Custom".
std::string FlowControlToStr(TFlowControl value);

// No match: br9600.
TBaudRate StrToBaudRate(const std::string& text);
// No match: sbOneStopBit.
TStopBits StrToStopBits(const std::string& text);
// No match: dbEight.
TDataBits StrToDataBits(const std::string& text);
// No match: prNone.
TParityBits StrToParity(const std::string& text);
// No match: fcCustom (the fields are then left as they are).
TFlowControl StrToFlowControl(const std::string& text);
