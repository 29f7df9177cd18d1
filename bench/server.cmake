# The game server: one round for 100 clients in the room library, and the
# server process with 100 scripted clients over loopback.
add_executable(server_bench ${CMAKE_CURRENT_SOURCE_DIR}/server_bench.cpp)
target_link_libraries(server_bench PRIVATE velmora_server_core benchmark::benchmark_main)
target_compile_definitions(server_bench PRIVATE VELMORA_SERVER_EXE="$<TARGET_FILE:velmora-server>"
  VELMORA_SAMPLE_MISSIONS="${PROJECT_SOURCE_DIR}/server/missions.txt")
add_dependencies(server_bench velmora-server)
