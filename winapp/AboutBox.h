#pragma once
// The About box: a small modal dialog captioned "About" with the product's name, version,
// copyright and comments on a lowered panel, and an OK button that has the focus and is the
// default; the program's picture beside its name. Nothing changes its captions. UI thread only.

#include "winapp/WinApi.h"

// Shows the box modally over `owner`, centred on the screen; returns when it is closed.
void ShowAboutBox(HWND owner);
