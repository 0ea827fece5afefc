# The main window's menus and tray, the global options and password dialogs, the about box
# and the help pages' place.
target_sources(lumivex_app PRIVATE
    HelpFiles.h HelpFiles.cpp
    MainMenu.cpp
    MainWindowState.cpp
    frmOptions.h frmOptions.cpp
    Form1.h Form1.cpp
    Form2.h Form2.cpp
    frmAbout.h frmAbout.cpp)
# The maker's web page, opened by Help > "on the Web" and by the about box's link.
set(LUMIVEX_WEB_PAGE "https://www.orvane.com/" CACHE STRING "The maker's web page")
set_source_files_properties(MainMenu.cpp frmAbout.cpp TARGET_DIRECTORY lumivex_app PROPERTIES
    COMPILE_DEFINITIONS LUMIVEX_WEB_PAGE="${LUMIVEX_WEB_PAGE}")
