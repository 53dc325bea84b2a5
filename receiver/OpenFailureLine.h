#pragma once
// The log line that tells a user why a port would not open, beside the failure box
// ("Unable to open com port (win error code: 5)"): the device, the reason the system gave and
// what to do about it, and about the programs found running that take USB adapters.

#include "serial/OpenFailureReason.h"

#include <string>

std::string OpenFailureLine(const std::string& port, const TOpenFailureReason& reason);
