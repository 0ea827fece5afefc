lumivex_add_test(test_folders FoldersTest.cpp)
