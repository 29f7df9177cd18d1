# The game server under a load of light protocol clients: 25 to 400 users
# (above 100 a room must be asked for with --max-users).
add_executable(traffic_load_bench ${CMAKE_CURRENT_SOURCE_DIR}/traffic_load_bench.cpp)
target_link_libraries(traffic_load_bench PRIVATE velmora_server_core benchmark::benchmark_main)
target_compile_definitions(traffic_load_bench PRIVATE VELMORA_SERVER_EXE="$<TARGET_FILE:velmora-server>"
  VELMORA_SAMPLE_MISSIONS="${PROJECT_SOURCE_DIR}/server/missions.txt")
add_dependencies(traffic_load_bench velmora-server)
