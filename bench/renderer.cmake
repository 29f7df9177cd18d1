# Frame times of the renderer on a worst-case scene: the surfaces in view in
# one call against the whole store and one call per surface, the vehicles
# instanced against one call per vehicle.
add_executable(renderer_bench ${CMAKE_CURRENT_SOURCE_DIR}/renderer_bench.cpp)
target_link_libraries(renderer_bench PRIVATE velmora_renderer benchmark::benchmark_main)
