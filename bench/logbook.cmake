if(TARGET velmora_ui)
  add_executable(logbook_bench ${CMAKE_CURRENT_SOURCE_DIR}/logbook_bench.cpp)
  target_link_libraries(logbook_bench PRIVATE velmora_ui benchmark::benchmark_main)
endif()
