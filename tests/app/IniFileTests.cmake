# The INI reader and writer.
lumivex_add_test(test_ini_file
    IniFileValueTests.cpp
    IniFileWriteTests.cpp)
