#include "gui/tree_gestures.h"

#include <cstring>

#include "app/command_ids.h"

namespace orvel::gui {

namespace id = app::id;
using platform::MenuId;
using platform::TreeItem;

std::string site_text_address(const std::string& text) {
    const auto open = text.rfind('(');
    if (open == std::string::npos) return {};
    auto close = text.rfind(')');
    if (close == std::string::npos || close < open) close = text.size();
    return text.substr(open + 1, close - open - 1);
}

std::string site_text_name(const std::string& text) {
    const auto open = text.rfind('(');
    return open == std::string::npos ? text : text.substr(0, open);
}

namespace {

void right_click(TreeGestureContext& ctx, TreeItem item, int x, int y) {
    std::string text = ctx.tree.item_text(item);
    if (text.size() > 128) text.resize(128);
    ctx.state.current_site_text = text;
    ctx.tree.select_item(item);
    int chosen = 0;
    if (ctx.tree.parent_item(item) != platform::kNoTreeItem) {
        // Camera item: the stream menu by the item's play state; state 3 shows none.
        const int play = camera_play_state(ctx.tree.item_data(item));
        if (play == 3) return;
        ctx.menus.enable_item(MenuId::stream, id::kStreamStop, play == 1);
        ctx.menus.enable_item(MenuId::stream, id::kStreamPlay, play == 0);
        ctx.menus.enable_item(MenuId::stream, id::kStreamPlayRecord, play == 0);
        chosen = ctx.menus.popup(MenuId::stream, x, y, platform::PopupAlign::top_left);
    } else {
        const bool has_cameras = ctx.tree.first_child(item) != platform::kNoTreeItem;
        ctx.menus.enable_item(MenuId::site, id::kSitePlayAll, has_cameras);
        const std::string address = site_text_address(text);
        const bool is_default =
            address == std::string(ctx.state.default_address.data(),
                                   strnlen(ctx.state.default_address.data(),
                                           ctx.state.default_address.size())) &&
            ctx.tree.item_data(item) == static_cast<std::uint32_t>(ctx.state.default_port);
        ctx.menus.check_item(MenuId::site, id::kSiteDefault, is_default);
        chosen = ctx.menus.popup(MenuId::site, x, y, platform::PopupAlign::top_left);
    }
    if (chosen != 0 && ctx.command) ctx.command(chosen);
}

}  // namespace

void handle_tree_gesture(TreeGestureContext& ctx, TreeGestureKind kind, TreeItem item,
                         bool on_label, int x, int y) {
    if (item == platform::kNoTreeItem) return;
    const bool is_camera = ctx.tree.parent_item(item) != platform::kNoTreeItem;
    switch (kind) {
        case TreeGestureKind::right_click:
            right_click(ctx, item, x, y);
            return;
        case TreeGestureKind::double_click: {
            if (is_camera || !on_label || !ctx.connect_site) return;
            const std::string name = site_text_name(ctx.tree.item_text(item));
            for (int i = 0; i < ctx.state.site_count; ++i) {
                const auto& n = ctx.state.sites[static_cast<std::size_t>(i)].name;
                if (name == std::string(n.data(), strnlen(n.data(), n.size()))) {
                    ctx.connect_site(i, item);
                    return;
                }
            }
            return;
        }
        case TreeGestureKind::click: {
            // A click on a site item neither plays nor stops anything.
            if (!is_camera || !on_label || !ctx.command) return;
            ctx.tree.select_item(item);
            const bool playing = camera_play_state(ctx.tree.item_data(item)) != 0;
            ctx.command(playing ? id::kStreamStop : id::kStreamPlay);
            return;
        }
    }
}

}  // namespace orvel::gui
