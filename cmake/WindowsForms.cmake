# The Windows forms (the serial layer, the transfer program's window, the window bridge, the
# Windows stand-in transfer program, and the Windows program's installer and zips),
# cross-compiled with mingw-w64 as projects of their own: one 64-bit build and one 32-bit
# build, in windows-x86_64/ and windows-i686/ of this build folder. Tests run them under Wine.
include(ExternalProject)

# The program's icon as a Windows icon file, drawn by the Linux build's picture tool: the
# Windows package's About picture, and the installer's and Start-menu entry's icon.
set(VELL_WINDOWS_ICON ${CMAKE_BINARY_DIR}/windows-pictures/vell-writer.ico)
add_custom_command(OUTPUT ${VELL_WINDOWS_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows-pictures
  COMMAND render_pictures --icon ${VELL_WINDOWS_ICON}
    ${PROJECT_SOURCE_DIR}/app/images/vell-writer.svg 16,24,32,48,64
  DEPENDS render_pictures ${PROJECT_SOURCE_DIR}/app/images/vell-writer.svg
  COMMENT "Drawing the Windows icon"
  VERBATIM)
add_custom_target(windows-pictures DEPENDS ${VELL_WINDOWS_ICON})

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
      -DVELL_VERSION=${PROJECT_VERSION}
      -DVELL_ABOUT_PICTURE=${VELL_WINDOWS_ICON}
    DEPENDS windows-pictures
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
endforeach()
