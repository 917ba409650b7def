#pragma once

#include <QMenu>
#include <array>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace fotolyx::gui {

// Command numbers of the menus.
inline constexpr int CMD_CLOSE_ALL = 33;  // no menu item: close every child that agrees
inline constexpr int CMD_OPEN = 40001;
inline constexpr int CMD_EXIT = 40002;
inline constexpr int CMD_SAVE_AS = 40003;
inline constexpr int CMD_DATA_IN = 40005;
inline constexpr int CMD_DATA_OUT_FINE = 40006;
inline constexpr int CMD_COMMUNICATION = 40007;
inline constexpr int CMD_FLASH_ALL_ERASE = 40008;
inline constexpr int CMD_DATA_OUT_NORMAL = 40009;
inline constexpr int CMD_DELETE_PAGE = 40010;
inline constexpr int CMD_HELP = 40011;
inline constexpr int CMD_ABOUT = 40012;
inline constexpr int CMD_DELETE_ALL = 40013;
inline constexpr int CMD_LIVE_ZOOM = 40014;
inline constexpr int CMD_CLOSE_IMAGE = 40015;
inline constexpr int CMD_IMAGE_ADJUST = 40016;
inline constexpr int CMD_PRINT = 40017;
inline constexpr int CMD_COPY = 40018;
inline constexpr int CMD_RELOAD = 40019;

// The first id of the window list.
inline constexpr int FIRST_CHILD_ID = 100;

// The five menu bars: the frame's own and one per kind of child window.
enum class MenuKind { Frame, Preview, Capture, ImageFile, LiveImage };
inline constexpr std::size_t MENU_KIND_COUNT = 5;

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
class MenuBar {
  public:
    MenuKind kind = MenuKind::Frame;
    std::vector<QMenu*> popups;  // owned by root
    QMenu* windowListPopup = nullptr;
    std::unique_ptr<QMenu> root;  // parent of every popup of this bar

    QAction* Command(int id) const;
    void EnableCommand(int id, bool enabled) const;
};

// Builds all five bars from the table; onCommand is called with the item's id.
std::array<MenuBar, MENU_KIND_COUNT> BuildMenuBars(const std::function<void(int)>& onCommand);

// The whole table, for tests.
std::vector<MenuEntry> MenuTable();

}  // namespace fotolyx::gui
