#pragma once
// The menus of the main window as data: items in order, with their command ids.

#include <span>

#include "platform/ports/menus.h"

namespace orvel::app {

struct MenuItemDef {
    int id = 0;  // 0: separator
    const char* text = "";
    const char* submenu = nullptr;  // name of the sub-menu holding the item, or null
};

struct MenuDef {
    platform::MenuId menu;
    const char* name;  // the menu's resource name
    std::span<const MenuItemDef> items;
};

// All six menus: control 139, file 381, pane 382, stream 383, site 428, audio 430.
// The audio menu starts with "silence" only; channel items follow the grid (set_layout).
// The file menu has no items of its own.
std::span<const MenuDef> menu_definitions();
const MenuDef* find_menu_definition(platform::MenuId menu);

}  // namespace orvel::app
