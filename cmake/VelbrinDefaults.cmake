# Compiler settings for the project's own targets. Warnings are errors here,
# never in code we do not own.
function(velbrin_defaults target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Wunused -Woverloaded-virtual -Wconversion
    -Wformat=2 -Werror)
endfunction()

# The same for C sources, which do not know the C++-only warnings.
function(velbrin_c_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror)
endfunction()

# Registers a GoogleTest executable with ctest. Tests that play into or record
# the one private sound server take RESOURCE_LOCK sound_server, so two of them
# never hear each other. Tests are discovered when ctest
# runs, so a build never executes test code.
function(velbrin_gtest target)
  cmake_parse_arguments(ARG "" "" "ENVIRONMENT;LABELS;RESOURCE_LOCK" ${ARGN})
  velbrin_defaults(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gtest_main)
  set(props "")
  if(ARG_ENVIRONMENT)
    list(APPEND props ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  if(ARG_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
