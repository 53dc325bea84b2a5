#pragma once
// One request of the window bridge's line channel carried out, and its answer line (see
// external/BridgeProtocol.h). A line that does not read as a request, or whose numbers do not fit
// this program's window handles and message parameters, is answered "<number> 0 87".

#include <string>
#include <string_view>

class TWin32Windows;

std::string AnswerRequest(TWin32Windows& windows, std::string_view line);
