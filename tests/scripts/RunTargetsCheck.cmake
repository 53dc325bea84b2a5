# Every target that scripts/run.sh builds, in each of its forms, is one of this build's and none
# is a test's or a benchmark's (nor a whole Windows project, which has its tests): a person trying the program waits for the program alone. The
# modem-lines library is the one part of the tests' support that the Windows form uses.
cmake_minimum_required(VERSION 3.25)
include(${NAMES})
foreach(form "" --wine --windows)
  execute_process(COMMAND bash ${RUN} ${form} --list-targets
    OUTPUT_VARIABLE listed RESULT_VARIABLE result)
  string(STRIP "${listed}" listed)
  string(REPLACE "\n" ";" listed "${listed}")
  if(NOT result EQUAL 0 OR NOT listed)
    message(SEND_ERROR "run.sh ${form} --list-targets: exit ${result}, targets \"${listed}\"")
  endif()
  foreach(target ${listed})
    # The Windows projects' targets exist only where mingw-w64 builds them.
    if(target MATCHES "^windows-([^-]+)-" AND NOT CMAKE_MATCH_1 IN_LIST VELL_WINDOWS_ARCHES)
      continue()
    endif()
    if(NOT target IN_LIST VELL_ALL_TARGETS)
      message(SEND_ERROR "run.sh ${form} builds ${target}, which this build does not have")
    elseif(target MATCHES "^windows-[^-]+$")
      message(SEND_ERROR "run.sh ${form} builds ${target}, a whole Windows project with its tests")
    elseif(target IN_LIST VELL_TEST_TARGETS AND NOT target STREQUAL "vell_modem_lines")
      message(SEND_ERROR "run.sh ${form} builds ${target}, a test's or benchmark's target")
    endif()
  endforeach()
endforeach()
