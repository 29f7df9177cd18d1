# The game server's web side: its JSON and metrics for a room of 100 users in
# the library, and the server process with 100 scripted clients and page
# viewers, or a flood of requests.
add_executable(web_bench ${CMAKE_CURRENT_SOURCE_DIR}/web_bench.cpp)
target_link_libraries(web_bench PRIVATE velmora_server_core benchmark::benchmark_main)
target_compile_definitions(web_bench PRIVATE VELMORA_SERVER_EXE="$<TARGET_FILE:velmora-server>"
  VELMORA_SAMPLE_MISSIONS="${PROJECT_SOURCE_DIR}/server/missions.txt")
add_dependencies(web_bench velmora-server)
