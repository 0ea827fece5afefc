lumivex_add_test(test_shell
    CommandLineTest.cpp
    HeadlessModeTest.cpp
    SetFileTest.cpp
    StartupTest.cpp
    MainFixture.h)

lumivex_add_test(test_program ProgramTest.cpp
    ${PROJECT_SOURCE_DIR}/tests/platform/PortTestSupport.h
    ${PROJECT_SOURCE_DIR}/tests/platform/PortTestSupport.cpp)
target_compile_definitions(test_program PRIVATE LUMIVEX_PROGRAM="$<TARGET_FILE:lumivex>")
add_dependencies(test_program lumivex)

lumivex_add_test(test_command_channel CommandChannelTest.cpp CommandTopicsTest.cpp MainFixture.h)

lumivex_add_test(test_command_program CommandProgramTest.cpp)
target_compile_definitions(test_command_program PRIVATE
    LUMIVEX_PROGRAM="$<TARGET_FILE:lumivex>" LUMIVEX_DDE="$<TARGET_FILE:lumivex-dde>")
add_dependencies(test_command_program lumivex lumivex-dde)
