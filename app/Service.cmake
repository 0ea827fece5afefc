# Service: the systemd unit, the service manager notifications and the autostart entry.
target_sources(lumivex_core PRIVATE
    AutoStart.h AutoStart.cpp
    ServiceControl.h ServiceControl.cpp
    ServiceNotify.h ServiceNotify.cpp)
