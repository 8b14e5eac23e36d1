// Camera-tree gestures of the main window: a right click pops up the stream menu (camera
// item) or the site menu (site item) with the items' states, a single click on a camera
// item plays or stops it, a double click on a site item connects it. Written against the
// ports only, so it runs without a display in tests.
#pragma once

#include <functional>
#include <string>

#include "platform/ports/menus.h"
#include "platform/ports/tree_control.h"
#include "view/app_state.h"

namespace orvel::gui {

enum class TreeGestureKind { right_click, click, double_click };

struct TreeGestureContext {
    view::AppState& state;
    platform::TreeControlPort& tree;
    platform::MenuPort& menus;
    std::function<void(int id)> command;  // the command dispatcher
    // Connect and log in to a configured site (its index in the site list) with its item.
    std::function<void(int site_index, platform::TreeItem item)> connect_site;
};

// Play state of a camera item (bits 23 and 24 of its data).
inline int camera_play_state(std::uint32_t item_data) { return (item_data >> 23) & 3; }

// The address of a site item's text: between the last "(" and the final ")".
std::string site_text_address(const std::string& text);
// The name of a site item's text: before the last "(".
std::string site_text_name(const std::string& text);

// Handles one gesture on `item` at screen point (x, y); `on_label` is false when the click
// was on the indent, the button or right of the label. Thread: UI thread.
void handle_tree_gesture(TreeGestureContext& ctx, TreeGestureKind kind, platform::TreeItem item,
                         bool on_label, int x, int y);

}  // namespace orvel::gui
