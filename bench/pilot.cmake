add_executable(pilot_bench ${CMAKE_CURRENT_SOURCE_DIR}/pilot_bench.cpp)
target_link_libraries(pilot_bench PRIVATE velmora_pilot benchmark::benchmark_main)
