#include "gui/MainMenus.h"

#include "app/frmMain.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

QAction* addEntry(QMenu& menu, MenuEntry* entry) {
    if (entry->isSeparator()) {
        QAction* separator = menu.addSeparator();
        separator->setVisible(entry->visible());
        return separator;
    }
    QAction* action = menu.addAction(QString());
    action->setShortcut(QKeySequence(entry->shortcut()));
    auto refresh = [entry, action] {
        action->setText(entry->caption());
        action->setEnabled(entry->enabled());
        action->setVisible(entry->visible());
        action->setCheckable(entry->checked());
        action->setChecked(entry->checked());
    };
    QObject::connect(entry, &Control::changed, action, refresh);
    refresh();
    QObject::connect(action, &QAction::triggered, entry, [entry] { entry->click(); });
    return action;
}

// The entries below top (up to the next top-level entry), in design order.
std::vector<MenuEntry*> entriesOf(const frmMain& model, MenuEntry* top,
                                  const std::vector<MenuEntry*>& tops) {
    std::vector<MenuEntry*> entries;
    bool inside = false;
    for (Control* control : model.controls()) {
        auto* entry = qobject_cast<MenuEntry*>(control);
        if (!entry)
            continue;
        if (std::find(tops.begin(), tops.end(), entry) != tops.end()) {
            inside = entry == top;
            continue;
        }
        if (inside)
            entries.push_back(entry);
    }
    return entries;
}

std::vector<MenuEntry*> topEntries(const frmMain& model) {
    return {model.mnuFile, model.mnuWindow, model.MTools, model.mnuHelp, model.mnuPopUp};
}

QMenu* addTopMenu(QMenuBar& bar, frmMain& model, MenuEntry* top) {
    QMenu* menu = bar.addMenu(QString());
    auto refresh = [top, menu] {
        menu->setTitle(top->caption());
    };
    QObject::connect(top, &Control::changed, menu, refresh);
    refresh();
    for (MenuEntry* entry : entriesOf(model, top, topEntries(model)))
        addEntry(*menu, entry);
    return menu;
}

// Marks the actions of the window list, which is built anew each time the menu opens.
const char* const kWindowListProperty = "lumivexWindowList";

QAction* listed(QAction* action) {
    action->setProperty(kWindowListProperty, true);
    return action;
}

// The session windows by caption, numbered, the active one checked.
void refreshWindowList(QMenu& menu, QMdiArea& area) {
    for (QAction* action : menu.actions()) {
        if (action->property(kWindowListProperty).toBool())
            delete action;
    }
    const QList<QMdiSubWindow*> windows = area.subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty())
        return;
    listed(menu.addSeparator());
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* sub = windows[i];
        QAction* action = listed(menu.addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(
            QString(sub->windowTitle()).replace(QLatin1Char('&'), QStringLiteral("&&")))));
        action->setCheckable(true);
        action->setChecked(sub == area.activeSubWindow());
        QObject::connect(action, &QAction::triggered, &area, [&area, sub] {
            if (sub->isMinimized())
                sub->showNormal();
            area.setActiveSubWindow(sub);
        });
    }
}

} // namespace

void buildMainMenus(QMenuBar& bar, frmMain& model, QMdiArea& area) {
    QMenu* file = addTopMenu(bar, model, model.mnuFile);
    QObject::connect(file, &QMenu::aboutToShow, model.mnuFile,
                     [&model] { model.mnuFile->click(); });
    QMenu* window = addTopMenu(bar, model, model.mnuWindow);
    QObject::connect(window, &QMenu::aboutToShow, &area,
                     [window, &area] { refreshWindowList(*window, area); });
    addTopMenu(bar, model, model.MTools);
    addTopMenu(bar, model, model.mnuHelp);
}

QMenu* buildTrayMenu(frmMain& model, QWidget* parent) {
    auto* menu = new QMenu(parent);
    for (MenuEntry* entry : entriesOf(model, model.mnuPopUp, topEntries(model))) {
        QAction* action = addEntry(*menu, entry);
        if (entry == model.mnuAbout)
            menu->setDefaultAction(action);
    }
    return menu;
}
