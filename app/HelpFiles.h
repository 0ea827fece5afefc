#pragma once
// Where the help pages are: beside the program (build/help in a build, or a portable copy),
// or where the installation keeps its documentation (<prefix>/share/doc/lumivex/html).
// Both are found from the program's own path, so a copy moved elsewhere still finds its pages.

#include <QString>

// The help folder of a program in executableFolder: its help subfolder when that holds an
// index.html, else ../share/doc/lumivex/html when that does; empty when neither has one.
QString findHelpFolder(const QString& executableFolder);

// index.html in the help folder of the running program, or empty when there is none.
QString helpIndexFile();
