add_executable(cockpit_bench ${CMAKE_CURRENT_SOURCE_DIR}/cockpit_bench.cpp)
target_link_libraries(cockpit_bench PRIVATE velmora_cockpit velmora_controls
                                            benchmark::benchmark_main)
