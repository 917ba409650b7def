#pragma once

#include <QMenu>
#include <array>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "ports/shell.h"

namespace fotolyx::gui {

// The first id of the window list.
inline constexpr int FIRST_CHILD_ID = 100;

// The five menu bars (MenuBar::Frame .. MenuBar::Liveimage) in this order.
inline constexpr std::size_t MENU_BAR_COUNT = 5;
inline std::size_t MenuBarIndex(MenuBar bar) {
    const int index = static_cast<int>(bar) - static_cast<int>(MenuBar::Frame);
    return index < 0 ? 0 : static_cast<std::size_t>(index);
}

// One line of the menu table. A popup starts with Popup and ends with End; the top-level
// popups of a menu bar sit between Bar and End.
enum class MenuEntryType { Bar, Popup, Item, Separator, End };

struct MenuEntry {
    MenuEntryType type;
    const char* text = nullptr;
    int id = 0;
    bool greyed = false;
};

// A built menu bar: its top-level popups, its commands and the popup that lists the windows.
class MenuWidgets {
  public:
    MenuBar bar = MenuBar::Frame;
    std::vector<QMenu*> popups;  // owned by root
    QMenu* windowListPopup = nullptr;
    std::unique_ptr<QMenu> root;  // parent of every popup of this bar

    QAction* Command(int id) const;
    void EnableCommand(int id, bool enabled) const;
};

// Builds all five bars from the table; onCommand is called with the item's id.
std::array<MenuWidgets, MENU_BAR_COUNT> BuildMenuBars(const std::function<void(int)>& onCommand);

// The whole table, for tests.
std::vector<MenuEntry> MenuTable();

}  // namespace fotolyx::gui
