lumivex_add_test(test_main_window
    MainMenuTest.cpp
    TrayPasswordTest.cpp
    OptionsTest.cpp
    MainFixture.h)
