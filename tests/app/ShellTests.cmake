lumivex_add_test(test_shell
    CommandLineTest.cpp
    HeadlessModeTest.cpp
    SetFileTest.cpp
    StartupTest.cpp
    MainFixture.h)

lumivex_add_test(test_program ProgramTest.cpp)
target_compile_definitions(test_program PRIVATE LUMIVEX_PROGRAM="$<TARGET_FILE:lumivex>")
add_dependencies(test_program lumivex)
