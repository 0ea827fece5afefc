target_sources(lumivex_core PRIVATE
    CommandLine.h CommandLine.cpp
    Display.h Display.cpp
    ExitSignals.h ExitSignals.cpp
    InstanceLock.h InstanceLock.cpp
    ServiceActions.h ServiceActions.cpp
    SetFile.cpp
    frmMain.h frmMain.cpp)
