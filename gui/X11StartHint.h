#pragma once
// Qt's X11 platform sets a window's "start iconic" hint (WM_HINTS initial state) when Qt
// minimizes it, and leaves it when the window manager restores the window. A window that is
// then hidden and shown again comes back minimized. Before such a window is shown normally or
// maximized, the hint is set back to a normal start. Nothing happens on other platforms.

class QWidget;

void startNormalWhenShown(const QWidget& window);
