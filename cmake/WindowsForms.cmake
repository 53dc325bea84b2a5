# The Windows forms (the serial layer, the transfer program's window, the window bridge and
# the Windows stand-in transfer program), cross-compiled with mingw-w64 as projects of their
# own: one 64-bit build and one 32-bit build, in windows-x86_64/ and windows-i686/ of this
# build folder. Tests run them under Wine.
include(ExternalProject)

set(VELL_WINDOWS_ARCHES "")
foreach(arch x86_64 i686)
  find_program(VELL_MINGW_${arch} ${arch}-w64-mingw32-g++-posix)
  if(NOT VELL_MINGW_${arch})
    message(STATUS "Windows forms (${arch}): ${arch}-w64-mingw32-g++-posix not found, skipped")
    continue()
  endif()
  list(APPEND VELL_WINDOWS_ARCHES ${arch})
  # The window's pictures are drawn by this build's tools from the same sources as the Qt
  # window's (app/images, controls/LedDrawing.cpp) and compiled into the Windows window too.
  # They must exist when the project is configured (it leaves the window out otherwise), so
  # they come before every step, the partial builds' too.
  ExternalProject_Add(windows-${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/windows
    BINARY_DIR ${CMAKE_BINARY_DIR}/windows-${arch}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DVELL_WERROR=${VELL_WERROR}
      -DVELL_BUILD_TESTS=${VELL_BUILD_TESTS}
      -DVELL_PICTURES_BUILD=${CMAKE_BINARY_DIR}
    DEPENDS vell_rendered_pictures vell_drawn_lamps
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  # Partial builds for scripts/run.sh, which needs a few programs and not the whole project
  # (its tests, the installer): windows-<arch>-transfer builds the stand-in Vell_par.exe and
  # the window bridge, windows-<arch>-window the program VellWriter.exe. Neither is part of
  # the whole build, which builds them anyway.
  foreach(part transfer window)
    if(part STREQUAL "transfer")
      set(targets vell_par_win window-bridge)
    else()
      set(targets VellWriter)
    endif()
    ExternalProject_Add_Step(windows-${arch} ${part}
      COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${targets}
      DEPENDEES configure
      EXCLUDE_FROM_MAIN ON
      ALWAYS ON
      USES_TERMINAL ON)
    ExternalProject_Add_StepTargets(windows-${arch} ${part})
  endforeach()
endforeach()
