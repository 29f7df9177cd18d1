# Frame times of the renderer on a worst-case scene, the whole surface store
# in one call against one call per surface.
add_executable(renderer_bench ${CMAKE_CURRENT_SOURCE_DIR}/renderer_bench.cpp)
target_link_libraries(renderer_bench PRIVATE velmora_renderer benchmark::benchmark_main)
