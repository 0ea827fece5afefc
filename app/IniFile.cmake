# IniFile: the INI reader and writer of set files.
target_sources(lumivex_core PRIVATE
    IniFile.h IniFile.cpp)
