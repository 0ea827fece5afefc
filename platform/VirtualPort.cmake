# The virtual port component: the contract and its Linux implementation on a pty pair.
target_sources(lumivex_core PRIVATE
    VirtualPort.h
    linux/PortMarker.h linux/PortMarker.cpp
    linux/NotifierPtr.h
    linux/HangUpNotifier.h linux/HangUpNotifier.cpp
    linux/DeviceOpenWatcher.h linux/DeviceOpenWatcher.cpp
    linux/PtyVirtualPort.h linux/PtyVirtualPort.cpp)
