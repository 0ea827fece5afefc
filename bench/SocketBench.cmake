# bench_socket: byte rate through a TCP socket element on loopback.
lumivex_add_benchmark(bench_socket ${CMAKE_CURRENT_LIST_DIR}/SocketBench.cpp)
