# bench_virtual_port: byte rate through a virtual port, both ways.
add_executable(bench_virtual_port ${CMAKE_CURRENT_LIST_DIR}/VirtualPortBench.cpp)
target_link_libraries(bench_virtual_port PRIVATE lumivex_core benchmark::benchmark)
