#pragma once
// Where the help pages are: installed beside the program (<prefix>/share/lumivex/help), or in
// the source tree's docs/help when the program runs from its build folder.

#include <QString>

// The help folder of a program in executableFolder: ../share/lumivex/help when it holds an
// index.html, else sourceHelpFolder when that does; empty when neither has one.
QString findHelpFolder(const QString& executableFolder, const QString& sourceHelpFolder);

// index.html in the help folder of the running program, or empty when there is none.
QString helpIndexFile();
