add_executable(core_bench ${CMAKE_CURRENT_SOURCE_DIR}/core_bench.cpp)
target_link_libraries(core_bench PRIVATE velmora_vehicle benchmark::benchmark_main)
