#include "gui/menu_table.h"

#include <functional>

namespace fotolyx::gui {
namespace {

using T = MenuEntryType;

// Items that several menus share.
constexpr MenuEntry OPEN{T::Item, "&Open...", CMD_OPEN};
constexpr MenuEntry SAVE_AS_GREYED{T::Item, "Save &As...", CMD_SAVE_AS, true};
constexpr MenuEntry COMMUNICATION{T::Item, "&Communication...", CMD_COMMUNICATION};
constexpr MenuEntry EXIT{T::Item, "E&xit", CMD_EXIT};
constexpr MenuEntry PRINT{T::Item, "&Print...", CMD_PRINT};
constexpr MenuEntry CLOSE_IMAGE{T::Item, "C&lose Image", CMD_CLOSE_IMAGE};
constexpr MenuEntry HELP{T::Item, "&Help...", CMD_HELP};
constexpr MenuEntry ABOUT{T::Item, "&About...", CMD_ABOUT};
constexpr MenuEntry ADJUST{T::Item, "Image &Adjustment...", CMD_IMAGE_ADJUST};
constexpr MenuEntry COPY{T::Item, "&Copy to Clipboard", CMD_COPY_TO_CLIPBOARD};
constexpr MenuEntry SEPARATOR{T::Separator};
constexpr MenuEntry END{T::End};

// The five menu bars in the order of MenuBar. The number after a Bar is the position of its
// window-list popup.
constexpr MenuEntry MENU_TABLE[] = {
    // HQSERVER: no child is active.
    {T::Bar, "HQSERVER", 0},
    {T::Popup, "&File"},
    OPEN,
    SAVE_AS_GREYED,
    SEPARATOR,
    COMMUNICATION,
    SEPARATOR,
    EXIT,
    END,
    {T::Popup, "Special"},
    {T::Item, "&Flash All Erase", CMD_FLASH_ALL_ERASE},
    END,
    {T::Popup, "&Help"},
    HELP,
    SEPARATOR,
    ABOUT,
    END,
    END,
    // PREVIEW
    {T::Bar, "PREVIEW", 1},
    {T::Popup, "&File"},
    OPEN,
    SAVE_AS_GREYED,
    SEPARATOR,
    {T::Item, "&Data in from camera", CMD_DATA_IN, true},
    {T::Item, "Delete &Page", CMD_DELETE_PAGE, true},
    {T::Item, "Delete A&ll", CMD_DELETE_ALL, true},
    SEPARATOR,
    COMMUNICATION,
    SEPARATOR,
    EXIT,
    END,
    {T::Popup, "&Window"},
    CLOSE_IMAGE,
    END,
    {T::Popup, "&Option"},
    {T::Item, "&Reload", CMD_RELOAD, true},
    END,
    {T::Popup, "&Help"},
    HELP,
    SEPARATOR,
    ABOUT,
    END,
    END,
    // CAPTURE
    {T::Bar, "CAPTURE", 2},
    {T::Popup, "&File"},
    OPEN,
    SAVE_AS_GREYED,
    SEPARATOR,
    COMMUNICATION,
    SEPARATOR,
    PRINT,
    SEPARATOR,
    EXIT,
    END,
    {T::Popup, "&Image"},
    ADJUST,
    SEPARATOR,
    COPY,
    END,
    {T::Popup, "&Window"},
    CLOSE_IMAGE,
    END,
    {T::Popup, "&Help"},
    HELP,
    SEPARATOR,
    ABOUT,
    END,
    END,
    // IMAGEFILE
    {T::Bar, "IMAGEFILE", 2},
    {T::Popup, "&File"},
    OPEN,
    {T::Item, "Save &As...", CMD_SAVE_AS},
    SEPARATOR,
    {T::Popup, "Data out &to camera"},
    {T::Item, "&Fine mode", CMD_DATA_OUT_FINE, true},
    {T::Item, "&Normal mode", CMD_DATA_OUT_NORMAL, true},
    END,
    SEPARATOR,
    COMMUNICATION,
    SEPARATOR,
    PRINT,
    SEPARATOR,
    EXIT,
    END,
    {T::Popup, "&Image"},
    ADJUST,
    SEPARATOR,
    COPY,
    END,
    {T::Popup, "&Window"},
    CLOSE_IMAGE,
    END,
    {T::Popup, "&Help"},
    HELP,
    SEPARATOR,
    ABOUT,
    END,
    END,
    // LIVEIMAGE
    {T::Bar, "LIVEIMAGE", 1},
    {T::Popup, "&File"},
    SAVE_AS_GREYED,
    SEPARATOR,
    COMMUNICATION,
    SEPARATOR,
    EXIT,
    END,
    {T::Popup, "&Window"},
    CLOSE_IMAGE,
    SEPARATOR,
    {T::Item, "Live &photo Zoom In", CMD_LIVE_ZOOM, true},
    END,
    {T::Popup, "&Help"},
    HELP,
    SEPARATOR,
    ABOUT,
    END,
    END,
};

}  // namespace

std::vector<MenuEntry> MenuTable() {
    return {std::begin(MENU_TABLE), std::end(MENU_TABLE)};
}

QAction* MenuWidgets::Command(int id) const {
    if (!root) {
        return nullptr;
    }
    for (QAction* action : root->findChildren<QAction*>()) {
        if (action->data().toInt() == id && !action->menu()) {
            return action;
        }
    }
    return nullptr;
}

void MenuWidgets::EnableCommand(int id, bool enabled) const {
    if (QAction* action = Command(id)) {
        action->setEnabled(enabled);
    }
}

std::array<MenuWidgets, MENU_BAR_COUNT> BuildMenuBars(const std::function<void(int)>& onCommand) {
    std::array<MenuWidgets, MENU_BAR_COUNT> bars;
    std::size_t barIndex = 0;
    MenuWidgets* bar = nullptr;
    std::vector<QMenu*> open;  // the popups being filled, innermost last
    int windowListPosition = 0;
    for (const MenuEntry& entry : MENU_TABLE) {
        switch (entry.type) {
            case T::Bar:
                bar = &bars.at(barIndex);
                bar->bar = static_cast<MenuBar>(static_cast<int>(MenuBar::Frame) +
                                                static_cast<int>(barIndex));
                bar->root = std::make_unique<QMenu>(QString::fromLatin1(entry.text));
                windowListPosition = entry.id;
                ++barIndex;
                break;
            case T::Popup: {
                auto* popup = new QMenu(QString::fromLatin1(entry.text), bar->root.get());
                if (open.empty()) {
                    if (static_cast<int>(bar->popups.size()) == windowListPosition) {
                        bar->windowListPopup = popup;
                    }
                    bar->popups.push_back(popup);
                } else {
                    open.back()->addMenu(popup);
                }
                open.push_back(popup);
                break;
            }
            case T::Item: {
                QAction* action = open.back()->addAction(QString::fromLatin1(entry.text));
                action->setData(entry.id);
                action->setEnabled(!entry.greyed);
                const int id = entry.id;
                QObject::connect(action, &QAction::triggered, [onCommand, id] { onCommand(id); });
                break;
            }
            case T::Separator:
                open.back()->addSeparator();
                break;
            case T::End:
                if (open.empty()) {
                    bar = nullptr;
                } else {
                    open.pop_back();
                }
                break;
        }
    }
    return bars;
}

}  // namespace fotolyx::gui
