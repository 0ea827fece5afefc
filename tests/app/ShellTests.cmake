lumivex_add_test(test_shell
    CommandLineTest.cpp
    SetFileTest.cpp
    StartupTest.cpp
    MainFixture.h)
