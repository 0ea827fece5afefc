#pragma once
// The main window's menu bar and the tray menu, built from the menu entries of the frmMain
// model in their design order: each top-level entry takes the entries that follow it.

class QMdiArea;
class QMenu;
class QMenuBar;
class QWidget;
class frmMain;

// File, Window, Tools and Help. Opening File runs the model's mnuFile handler; the Window menu
// lists the session windows below its entries.
void buildMainMenus(QMenuBar& bar, frmMain& model, QMdiArea& area);

// Open, Exit and About, About as the default entry.
QMenu* buildTrayMenu(frmMain& model, QWidget* parent);
