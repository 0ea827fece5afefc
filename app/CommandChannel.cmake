# The command channel: the program's socket, the topics it serves, and the lumivex-dde client
# (built as build/lumivex-dde and installed beside the program).
target_sources(lumivex_app PRIVATE
    CommandChannel.h CommandChannel.cpp
    CommandConnection.h CommandConnection.cpp
    CommandProtocol.h
    CommandTopics.h CommandTopics.cpp)

add_executable(lumivex-dde lumivex-dde.cpp)
target_link_libraries(lumivex-dde PRIVATE lumivex_platform)
install(TARGETS lumivex-dde RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
