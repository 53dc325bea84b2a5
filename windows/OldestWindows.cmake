# The oldest Windows each build runs on, as the programs' headers state it (the subsystem
# version, which an older system's loader refuses) and as the system headers are asked to
# offer it (_WIN32_WINNT, so that they declare no newer call).
#   32-bit: Windows XP SP3 (5.1). Old 32-bit machines are where parallel ports and the drivers
#           that give programs their ports are still found, and XP is the oldest this toolchain
#           reaches: its thread library (winpthreads) needs AddVectoredExceptionHandler, which
#           Windows 2000 lacks.
#   64-bit: Windows XP x64 / Server 2003 (5.2), the first 64-bit x86 Windows.
# The one newer call the toolchain itself imports, GetTickCount64, is supplied in the programs
# (TickCount64.cpp). What XP lacks is listed beside this file (NewerThanOldest.txt) and every
# built program is checked against it by pe_check (tests/tools/pe-check).
set(VELL_OLDEST_WINDOWS_i686 5 1 0x0501)
set(VELL_OLDEST_WINDOWS_x86_64 5 2 0x0502)

# The programs each build makes, from the build's top: pe_check checks each of them, one test
# for each, skipped where a program is not built.
set(VELL_WINDOWS_PROGRAMS
  window-bridge/window-bridge.exe
  transfer-win/Vell_par.exe
  winapp/VellWriter.exe
  serial/serial_tests.exe
  serial/wine_com_tests.exe
)
