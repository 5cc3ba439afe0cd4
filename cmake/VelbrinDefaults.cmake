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
  # Caches the program keeps per user (covers, loudness) stay in the build tree.
  set(props ENVIRONMENT_MODIFICATION "XDG_CACHE_HOME=set:${CMAKE_BINARY_DIR}/test-cache")
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

# A short fuzzing run of a libFuzzer target as a ctest of the fuzz preset, so
# the fuzzers keep building and their seeds keep passing. New inputs go into a
# scratch corpus in the build tree, never into the seed folders.
function(velbrin_fuzz_smoke target)
  cmake_parse_arguments(ARG "" "" "SEEDS;ARGS" ${ARGN})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${target}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${target}_smoke
    COMMAND ${target} -max_total_time=15 -timeout=10 -artifact_prefix=${corpus}/ ${ARG_ARGS}
            ${corpus} ${ARG_SEEDS})
  set_tests_properties(${target}_smoke PROPERTIES LABELS fuzz ENVIRONMENT TMPDIR=/dev/shm)
endfunction()
