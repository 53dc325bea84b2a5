#pragma once
// The system's window headers, in the order they need: <windows.h> before the others, which
// do not include it themselves. Include this, not them.

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>
#include <shlwapi.h>
// clang-format on
