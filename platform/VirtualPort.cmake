# The virtual port component: the contract and its Linux implementation on pty pairs.
target_sources(lumivex_platform PRIVATE
    VirtualPort.h
    linux/PortMarker.h linux/PortMarker.cpp
    linux/PortLink.h linux/PortLink.cpp
    linux/NotifierPtr.h
    linux/HangUpNotifier.h linux/HangUpNotifier.cpp
    linux/DeviceOpenWatcher.h linux/DeviceOpenWatcher.cpp
    linux/PtyPair.h linux/PtyPair.cpp
    linux/TerminalLine.h linux/TerminalLine.cpp
    linux/PtyVirtualPort.h linux/PtyVirtualPort.cpp)
