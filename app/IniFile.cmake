# IniFile: the INI reader and writer and the atomic file replacement beneath it.
target_sources(lumivex_core PRIVATE
    AtomicFile.h AtomicFile.cpp
    IniFile.h IniFile.cpp)
