#pragma once
// The program's icon for its windows and the tray.

#include <QIcon>

// Raster sizes drawn from resources/lumivex.svg: they need no image plugin beyond Qt's own
// PNG support, so the icon shows on any machine that runs the program.
QIcon programIcon();
