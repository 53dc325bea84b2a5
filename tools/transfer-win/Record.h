#pragma once
// What the stand-in saw, one line per event, appended to the file named by VELL_STANDIN_RECORD
// (a Windows path, or a Unix path read through Wine's Z: drive), so a test can check the
// window's side exactly. Without the variable nothing is recorded. Lines, in UTF-8:
//
//   window <handle> input <handle> <width> <height>   at start: the handles as decimal numbers,
//                                                     the input's client size
//   shown minimised | shown normal                    how the first show left the window
//   foreground yes | foreground no                    whether it is the foreground window then
//   minimised                                         it was minimised later
//   click <x> <y> <wParam>                            a left-button press in the input, in the
//                                                     input's client coordinates
//   paste <text>                                      the input's text after a paste
//   delivered <size> <crc32 as 8 hex digits>          the simulator confirmed the image
//   failed <reason>                                   the delivery failed
//   close                                             WM_CLOSE reached the main window
//
// Texts are escaped as on the bridge's channel: "%" as "%25", a line feed as "%0A", a carriage
// return as "%0D". Each line is written and the file closed at once, from any thread.

#include <string>

void Record(const std::string& line);
