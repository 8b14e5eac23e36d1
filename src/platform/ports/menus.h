#pragma once
// Menus and pop-up menus of the main window, addressed by their resource number and
// items addressed by command id.

#include <span>
#include <string>
#include <string_view>

namespace orvel::platform {

// Resource numbers of the menus loaded at start-up.
enum class MenuId : int {
    control = 139,  // "control" (full-screen window)
    file = 381,     // "_filemenu_"
    pane = 382,     // "_ScreenMenu_" (context menu of a pane)
    stream = 383,   // "_StreamMenu_" (camera items)
    site = 428,     // "POSITON" (site items)
    audio = 430,    // "AUDIO"
};

enum class PopupAlign { top_left, bottom_left };

// An item of a menu built for one pop-up (a live pane's menu); command id 0 is a separator.
struct PopupItem {
    int command_id = 0;
    std::string text;
};

class MenuPort {
public:
    virtual ~MenuPort() = default;

    // All functions: thread: UI thread only.

    virtual void check_item(MenuId menu, int command_id, bool checked) = 0;
    virtual bool is_item_checked(MenuId menu, int command_id) const = 0;
    // Gray (disable) or enable an item.
    virtual void enable_item(MenuId menu, int command_id, bool enabled) = 0;
    // Appends an item at the end of the menu; ignored when the id is already present.
    virtual void append_item(MenuId menu, int command_id, std::string_view text) = 0;
    // Removes the item with that id; false when there is none.
    virtual bool remove_item(MenuId menu, int command_id) = 0;
    virtual bool has_item(MenuId menu, int command_id) const = 0;
    // Replaces the text of an item.
    virtual void set_item_text(MenuId menu, int command_id, std::string_view text) = 0;

    // Shows the menu at (x, y) in main-window client coordinates and waits for the
    // operator. Returns the chosen command id, or 0 when the menu was dismissed. The
    // caller routes the id through the main window's command dispatcher.
    virtual int popup(MenuId menu, int x, int y, PopupAlign align) = 0;
    // Builds a menu of `items`, shows it at (x, y) in main-window client coordinates with
    // its top-left corner there, waits, and destroys it. Returns the chosen id or 0.
    virtual int popup_items(std::span<const PopupItem> items, int x, int y) = 0;
};

}  // namespace orvel::platform
