#pragma once
// The four arrangements of the session windows in the main window's MDI area.

class QMdiArea;

enum class MdiArrangement {
    Cascade = 0,
    TileHorizontal = 1, // one above the other, each as wide as the area
    TileVertical = 2,   // side by side, each as high as the area
    ArrangeIcons = 3,   // minimized windows in a row along the bottom
};

void arrangeSubWindows(QMdiArea& area, MdiArrangement arrangement);
