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

# Saves on a disk that is full, then read-only: a small tmpfs in a mount namespace of its own.
add_test(NAME test_shell_small_disk
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/on-small-disk.sh $<TARGET_FILE:test_shell>
        --gtest_filter=StartupTest.ASaveTheDiskRefuses*)
set_tests_properties(test_shell_small_disk PROPERTIES SKIP_RETURN_CODE 77
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMIVEX_HEADLESS=1")
