add_executable(data_bench ${CMAKE_CURRENT_SOURCE_DIR}/data_bench.cpp)
target_link_libraries(data_bench PRIVATE velmora_world velmora_vehicle benchmark::benchmark_main)
target_compile_definitions(data_bench PRIVATE VELMORA_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
