add_executable(sim_bench ${CMAKE_CURRENT_SOURCE_DIR}/sim_bench.cpp)
target_link_libraries(sim_bench PRIVATE velmora_app benchmark::benchmark_main)
