add_executable(railway_bench ${CMAKE_CURRENT_SOURCE_DIR}/railway_bench.cpp)
target_link_libraries(railway_bench PRIVATE velmora_app benchmark::benchmark_main)
