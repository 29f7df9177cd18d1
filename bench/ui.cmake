if(TARGET velmora_ui)
  add_executable(ui_bench ${CMAKE_CURRENT_SOURCE_DIR}/ui_bench.cpp)
  target_link_libraries(ui_bench PRIVATE velmora_ui benchmark::benchmark_main)
endif()
