target_sources(lumivex_app PRIVATE
    CommandLine.h CommandLine.cpp
    Display.h Display.cpp
    ExitSignals.h ExitSignals.cpp
    InstanceLock.h InstanceLock.cpp
    ServiceActions.h ServiceActions.cpp
    SetFile.cpp
    frmMain.h frmMain.cpp)
