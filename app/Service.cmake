# Service: the systemd unit, the service manager notifications and the autostart entry.
target_sources(lumivex_app PRIVATE
    AutoStart.h AutoStart.cpp
    ServiceControl.h ServiceControl.cpp
    ServiceNotify.h ServiceNotify.cpp)

# The unit's text lives in lumivex.service.in alone: compiled into the program for -i, and
# filled in here for the unit that the installation ships, so the two never drift apart.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/lumivex.service.in unit_template)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/ServiceUnitTemplate.h @ONLY CONTENT
    "#pragma once\n// Generated from app/lumivex.service.in.\ninline constexpr char serviceUnitTemplate[] = R\"unit(@unit_template@)unit\";\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS lumivex.service.in)
target_include_directories(lumivex_app PRIVATE ${CMAKE_CURRENT_BINARY_DIR})

# The installed unit is the one "lumivex -i" writes for the installed program.
set(DESCRIPTION "${PROJECT_DESCRIPTION}")
set(NETWORK_DEPENDENCY "After=network-online.target\nWants=network-online.target\n")
set(PROGRAM "\"${CMAKE_INSTALL_FULL_BINDIR}/lumivex\"")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/lumivex.service.in ${CMAKE_CURRENT_BINARY_DIR}/lumivex.service @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumivex.service
    DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
