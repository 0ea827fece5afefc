# IniFileTests
lumivex_add_test(IniFileTests
    IniFileValueTests.cpp
    IniFileWriteTests.cpp)
