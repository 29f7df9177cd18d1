add_executable(replay_bench ${CMAKE_CURRENT_SOURCE_DIR}/replay_bench.cpp)
target_link_libraries(replay_bench PRIVATE velmora_app benchmark::benchmark_main)
