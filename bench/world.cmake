add_executable(world_bench ${CMAKE_CURRENT_SOURCE_DIR}/world_bench.cpp)
target_link_libraries(world_bench PRIVATE velmora_world benchmark::benchmark_main)
target_compile_definitions(world_bench PRIVATE
  VELMORA_SAMPLE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
