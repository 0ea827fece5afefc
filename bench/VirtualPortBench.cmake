# bench_virtual_port: byte rate through a virtual port, both ways.
lumivex_add_benchmark(bench_virtual_port ${CMAKE_CURRENT_LIST_DIR}/VirtualPortBench.cpp)
