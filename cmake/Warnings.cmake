# Project-wide warning flags; -Werror when TV_WERROR is on (CI sets it).
add_compile_options(-Wall -Wextra)
if(TV_WERROR)
  add_compile_options(-Werror)
endif()

# tv_add_test(<name> SOURCES ... LIBS ...): one GoogleTest binary, its cases
# registered one by one with CTest. Nothing when BUILD_TESTING is off.
function(tv_add_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 600)
endfunction()
