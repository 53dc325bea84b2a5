# What every Wine test shares: the one Wine prefix of the build folder, made once per run by
# the test WinePrefix (a fixture the Wine tests require, so it runs first and once), and what a
# test binary needs to hold a Wine session (tests/support/WineSession.h). Tests on the prefix
# share its Wine server, so they run one at a time. Included by each folder with Wine tests.
include_guard(GLOBAL)

find_program(VELL_WINE wine)
find_program(VELL_WINESERVER wineserver)
find_program(VELL_XVFB Xvfb)
# Kept between runs: a new prefix costs half a minute.
set(VELL_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE INTERNAL "The Wine tests' one prefix")
set(VELL_WINE_PREFIX_SCRIPT "${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh" CACHE INTERNAL "")

# Only with Windows forms to run: without them every Wine test skips and no prefix is made.
if(VELL_WINDOWS_ARCHES)
  add_test(NAME WinePrefix COMMAND ${VELL_WINE_PREFIX_SCRIPT} ${VELL_WINE_PREFIX})
  # 77: Wine is not installed; the tests then skip themselves.
  set_tests_properties(WinePrefix PROPERTIES
    FIXTURES_SETUP WinePrefix RESOURCE_LOCK wine-prefix SKIP_RETURN_CODE 77 TIMEOUT 400)
endif()

# The properties of a test on the prefix.
set(VELL_WINE_TEST_PROPERTIES FIXTURES_REQUIRED WinePrefix RESOURCE_LOCK wine-prefix CACHE INTERNAL "")

# A test binary that holds Wine sessions, built after the Windows forms it runs.
function(vell_wine_test_target target)
  target_compile_definitions(${target} PRIVATE
    WINE_PROGRAM="$<$<BOOL:${VELL_WINE}>:${VELL_WINE}>"
    WINESERVER_PROGRAM="$<$<BOOL:${VELL_WINESERVER}>:${VELL_WINESERVER}>"
    XVFB_PROGRAM="$<$<BOOL:${VELL_XVFB}>:${VELL_XVFB}>"
    WINDOWS_BUILD="${CMAKE_BINARY_DIR}/windows"
    WINE_PREFIX="${VELL_WINE_PREFIX}"
    WINE_PREFIX_SCRIPT="${VELL_WINE_PREFIX_SCRIPT}")
  foreach(arch ${VELL_WINDOWS_ARCHES})
    add_dependencies(${target} windows-${arch})
  endforeach()
endfunction()
