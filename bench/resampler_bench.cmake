# The resampler benchmark against its peers; they come from pkg-config.
find_package(PkgConfig REQUIRED)
pkg_check_modules(RESAMPLER_PEERS REQUIRED IMPORTED_TARGET soxr samplerate speexdsp)
add_executable(resampler_bench ${CMAKE_CURRENT_LIST_DIR}/resampler_bench.cpp)
velbrin_defaults(resampler_bench)
target_link_libraries(resampler_bench PRIVATE kv_resampler kelvra_interface PkgConfig::RESAMPLER_PEERS)
