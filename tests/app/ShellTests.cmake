lumivex_add_test(test_shell
    CommandLineTest.cpp
    HeadlessModeTest.cpp
    SetFileTest.cpp
    StartupTest.cpp
    MainFixture.h)

# The built program, driven as a user, systemd and lumivex-dde do.
lumivex_add_test(test_program ProgramTest.cpp
    ${PROJECT_SOURCE_DIR}/tests/platform/PortTestSupport.h
    ${PROJECT_SOURCE_DIR}/tests/platform/PortTestSupport.cpp)
target_compile_definitions(test_program PRIVATE
    LUMIVEX_PROGRAM="$<TARGET_FILE:lumivex>" LUMIVEX_DDE="$<TARGET_FILE:lumivex-dde>")
add_dependencies(test_program lumivex lumivex-dde)

lumivex_add_test(test_command_channel CommandChannelTest.cpp CommandTopicsTest.cpp MainFixture.h)
