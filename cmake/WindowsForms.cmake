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
  ExternalProject_Add(windows-${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/windows
    BINARY_DIR ${CMAKE_BINARY_DIR}/windows-${arch}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DVELL_WERROR=${VELL_WERROR}
      -DVELL_BUILD_TESTS=${VELL_BUILD_TESTS}
      -DVELL_PICTURES_BUILD=${CMAKE_BINARY_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  # The window's pictures are drawn by this build's tools from the same sources as the Qt
  # window's (app/images, controls/LedDrawing.cpp) and compiled into the Windows window too.
  add_dependencies(windows-${arch} vell_rendered_pictures vell_drawn_lamps)
endforeach()
