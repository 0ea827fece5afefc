# IniFile: the INI reader and writer of set files.
target_sources(lumivex_app PRIVATE
    IniFile.h IniFile.cpp)
