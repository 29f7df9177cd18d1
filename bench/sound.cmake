add_executable(sound_bench ${CMAKE_CURRENT_SOURCE_DIR}/sound_bench.cpp)
target_link_libraries(sound_bench PRIVATE velmora_sound benchmark::benchmark_main)
