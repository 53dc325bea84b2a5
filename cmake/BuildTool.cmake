# A program that runs while the project is built (it draws pictures into source code): built
# plain, without the sanitizers and fuzzing instrumentation of the builds that test the project,
# which would not link or run outside them.
function(vell_build_tool target)
  foreach(property COMPILE_OPTIONS LINK_OPTIONS)
    get_target_property(options ${target} ${property})
    if(options)
      list(FILTER options EXCLUDE REGEX "sanitize")
      set_target_properties(${target} PROPERTIES ${property} "${options}")
    endif()
  endforeach()
endfunction()
