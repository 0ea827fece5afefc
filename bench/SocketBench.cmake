# bench_socket: byte rate through a TCP socket element on loopback.
add_executable(bench_socket SocketBench.cpp)
target_link_libraries(bench_socket PRIVATE lumivex_core benchmark::benchmark)
