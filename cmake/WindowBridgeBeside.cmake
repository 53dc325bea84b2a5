# The window bridge beside the program: a Windows transfer program is driven under Wine
# through window-bridge.exe in the program's own folder, in the build tree as when installed.
# The 32-bit build is taken where there is one: it runs under wine32, which a real transfer
# program (a 32-bit one) needs anyway, and it drives 64-bit programs as well.
if(NOT VELL_WINDOWS_ARCHES)
  return()
endif()
if("i686" IN_LIST VELL_WINDOWS_ARCHES)
  set(VELL_BRIDGE_ARCH i686)
else()
  set(VELL_BRIDGE_ARCH x86_64)
endif()
set(VELL_WINDOW_BRIDGE
    ${CMAKE_BINARY_DIR}/windows-${VELL_BRIDGE_ARCH}/window-bridge/window-bridge.exe)
add_custom_target(window-bridge-beside ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELL_WINDOW_BRIDGE}
          $<TARGET_FILE_DIR:vell-writer>/window-bridge.exe
  COMMENT "window-bridge.exe beside vell-writer")
add_dependencies(window-bridge-beside windows-${VELL_BRIDGE_ARCH} vell-writer)
install(PROGRAMS ${VELL_WINDOW_BRIDGE} DESTINATION ${VELL_APP_DIR})
