# Engine benchmark driver; bench/kelvra_bench.sh runs it and prints the figures.
add_executable(kelvra_bench ${CMAKE_CURRENT_LIST_DIR}/kelvra_bench.cpp)
target_link_libraries(kelvra_bench PRIVATE kelvra_interface ${CMAKE_DL_LIBS})
target_compile_definitions(kelvra_bench PRIVATE KELVRA_LIBRARY="$<TARGET_FILE:kelvra>")
add_dependencies(kelvra_bench kelvra)
velbrin_defaults(kelvra_bench)
