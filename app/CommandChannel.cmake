# The command channel: the program's socket, the topics it serves, and the lumivex-dde client
# (built as build/lumivex-dde and installed beside the program).
target_sources(lumivex_core PRIVATE
    CommandChannel.h CommandChannel.cpp
    CommandConnection.h CommandConnection.cpp
    CommandProtocol.h
    CommandTopics.h CommandTopics.cpp)

add_executable(lumivex-dde lumivex-dde.cpp ${PROJECT_SOURCE_DIR}/platform/Folders.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/UnixSocketAddress.cpp)
target_include_directories(lumivex-dde PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(lumivex-dde PRIVATE Qt6::Core Qt6::Network)
install(TARGETS lumivex-dde RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
