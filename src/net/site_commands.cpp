// Tree gestures and the site and stream menu commands.
#include <algorithm>
#include <cstring>

#include "net/net_session.h"
#include "net/net_texts.h"
#include "view/command_ids.h"
#include "view/strings.h"

namespace orvel::net {

namespace strings = view::strings;
namespace id = view::id;
using platform::kNoTreeItem;
using platform::MenuId;
using platform::TreeHitPart;
using platform::TreeItem;

namespace {

bool hit_on_item(TreeHitPart part) {
    return part != TreeHitPart::indent && part != TreeHitPart::button &&
           part != TreeHitPart::right_of_label && part != TreeHitPart::nowhere;
}

constexpr std::size_t kSiteTextChars = 128;

template <std::size_t N>
std::string text_of_field(const std::array<char, N>& field) {
    return std::string(field.data(), strnlen(field.data(), N));
}

}  // namespace

int NetSession::camera_item_count(TreeItem site_item) const {
    if (site_item == kNoTreeItem) return 0;
    int n = 0;
    for (TreeItem c = ports_.tree.first_child(site_item); c != kNoTreeItem;
         c = ports_.tree.next_sibling(c))
        ++n;
    return n;
}

TreeItem NetSession::find_site_item(std::string_view address, int port) const {
    for (TreeItem s = ports_.tree.root_item(); s != kNoTreeItem; s = ports_.tree.next_sibling(s))
        if (site_text_address(ports_.tree.item_text(s)) == address &&
            static_cast<int>(ports_.tree.item_data(s)) == port)
            return s;
    return kNoTreeItem;
}

TreeItem NetSession::selected_site_item() const {
    TreeItem item = ports_.tree.selected_item();
    if (item == kNoTreeItem) return kNoTreeItem;
    const TreeItem parent = ports_.tree.parent_item(item);
    return parent == kNoTreeItem ? item : parent;
}

void NetSession::on_tree_double_click(TreeItem item, TreeHitPart part) {
    if (item == kNoTreeItem || !hit_on_item(part)) return;
    if (ports_.tree.parent_item(item) != kNoTreeItem) return;  // camera items: nothing
    const std::string name = site_text_name(ports_.tree.item_text(item));
    for (int i = 0; i < state_.site_count && i < view::kMaxSites; ++i) {
        const auto& site = state_.sites[static_cast<std::size_t>(i)];
        if (std::string(site.name.data(), strnlen(site.name.data(), site.name.size())) == name) {
            connect_and_login(i, item, kLoginFromTree);
            return;
        }
    }
}

void NetSession::on_tree_click(TreeItem item, TreeHitPart part) {
    if (item == kNoTreeItem || !hit_on_item(part)) return;
    if (ports_.tree.parent_item(item) == kNoTreeItem) return;  // site items: nothing
    ports_.tree.select_item(item);
    if (item_play_state(ports_.tree.item_data(item)) != 0)
        stop_camera();
    else
        play_camera();
}

int NetSession::on_tree_right_click(TreeItem item, int x, int y) {
    if (item == kNoTreeItem) return 0;
    std::string text = ports_.tree.item_text(item);
    if (text.size() > kSiteTextChars) text.resize(kSiteTextChars);
    state_.current_site_text = text;
    ports_.tree.select_item(item);
    if (ports_.tree.parent_item(item) != kNoTreeItem) {
        const int play = item_play_state(ports_.tree.item_data(item));
        if (play == 3) return 0;
        ports_.menus.enable_item(MenuId::stream, id::kStreamStop, play == 1);
        ports_.menus.enable_item(MenuId::stream, id::kStreamPlay, play == 0);
        ports_.menus.enable_item(MenuId::stream, id::kStreamPlayRecord, play == 0);
        return ports_.menus.popup(MenuId::stream, x, y, platform::PopupAlign::top_left);
    }
    ports_.menus.enable_item(MenuId::site, id::kSitePlayAll, camera_item_count(item) > 0);
    const std::string default_address(
        state_.default_address.data(),
        strnlen(state_.default_address.data(), state_.default_address.size()));
    const bool is_default = site_text_address(text) == default_address &&
                            static_cast<int>(ports_.tree.item_data(item)) == state_.default_port;
    ports_.menus.check_item(MenuId::site, id::kSiteDefault, is_default);
    return ports_.menus.popup(MenuId::site, x, y, platform::PopupAlign::top_left);
}

// ---------------------------------------------------------------- playing cameras

bool NetSession::play_item(TreeItem item, bool record) {
    const TreeItem site_item = ports_.tree.parent_item(item);
    if (site_item == kNoTreeItem) return false;
    const std::string address = site_text_address(ports_.tree.item_text(site_item));
    const auto data = ports_.tree.item_data(item);
    LiveCameraTarget target{address.c_str(), static_cast<int>(ports_.tree.item_data(site_item)),
                            item_camera(data)};
    const int pane = ports_.panes.open_live_pane(target, record);
    if (pane < 0 || pane >= view::kMaxPanes) return false;
    auto& source = state_.pane_sources[static_cast<std::size_t>(pane)];
    copy_text(source.address, address);
    source.channel = item_camera(data);
    ports_.tree.set_state_image(item, record ? kImageCameraRecording : kImageCameraPlaying);
    ports_.tree.set_item_data(item, make_item_data(item_camera(data), pane, 1));
    return true;
}

void NetSession::play_camera() {
    const TreeItem item = ports_.tree.selected_item();
    if (item == kNoTreeItem || ports_.tree.parent_item(item) == kNoTreeItem) return;
    play_item(item, false);
}

void NetSession::play_and_record_camera() {
    const TreeItem item = ports_.tree.selected_item();
    if (item == kNoTreeItem || ports_.tree.parent_item(item) == kNoTreeItem) return;
    const int pane = state_.selected_pane.load();
    if (pane >= 0 && pane < view::kMaxPanes &&
        state_.pane_kind[static_cast<std::size_t>(pane)] != view::PANE_FREE) {
        ports_.message_box.show_message(strings::kStr55PleaseStopPlay, "");
        return;
    }
    if (state_.open_pane_count >= view::kMaxPanes) {
        ports_.message_box.show_message(strings::kStr72NoPaneFree, "");
        return;
    }
    play_item(item, true);
}

void NetSession::reset_item(TreeItem item) {
    ports_.tree.set_item_data(item, make_item_data(item_camera(ports_.tree.item_data(item)), 0, 0));
    ports_.tree.set_state_image(item, kImageCameraIdle);
}

void NetSession::stop_camera() {
    const TreeItem item = ports_.tree.selected_item();
    if (item == kNoTreeItem || ports_.tree.parent_item(item) == kNoTreeItem) return;
    const auto data = ports_.tree.item_data(item);
    if (item_play_state(data) == 1) ports_.panes.close_live_pane(item_pane(data));
    reset_item(item);
}

void NetSession::stop_pane(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return;
    // The camera item playing in the pane goes back to idle with it.
    const std::string address =
        text_of_field(state_.pane_sources[static_cast<std::size_t>(pane)].address);
    for (TreeItem s = ports_.tree.root_item(); s != kNoTreeItem; s = ports_.tree.next_sibling(s)) {
        if (site_text_address(ports_.tree.item_text(s)) != address) continue;
        for (TreeItem c = ports_.tree.first_child(s); c != kNoTreeItem;
             c = ports_.tree.next_sibling(c)) {
            const auto data = ports_.tree.item_data(c);
            if (item_play_state(data) != 0 && item_pane(data) == pane) reset_item(c);
        }
    }
    if (ports_.panes.pane_is_live(pane)) ports_.panes.close_live_pane(pane);
}

void NetSession::pane_closed(int pane) {
    for (TreeItem site = ports_.tree.root_item(); site != kNoTreeItem;
         site = ports_.tree.next_sibling(site))
        for (TreeItem c = ports_.tree.first_child(site); c != kNoTreeItem;
             c = ports_.tree.next_sibling(c)) {
            const auto data = ports_.tree.item_data(c);
            if (item_play_state(data) == 1 && item_pane(data) == pane) reset_item(c);
        }
}

void NetSession::play_all() {
    const TreeItem site_item = selected_site_item();
    if (site_item == kNoTreeItem) return;
    ports_.panes.leave_full_view();
    for (TreeItem c = ports_.tree.first_child(site_item); c != kNoTreeItem;
         c = ports_.tree.next_sibling(c)) {
        ports_.tree.select_item(c);
        if (item_play_state(ports_.tree.item_data(c)) == 0 && !play_item(c, false)) break;
    }
}

void NetSession::auto_play(TreeItem site_item) {
    const int used = ports_.panes.open_pane_count();
    const int wanted = used + camera_item_count(site_item);
    if (wanted > 4) {
        int side = 6;
        for (int n = 3; n <= 6; ++n)
            if (n * n >= wanted) {
                side = n;
                break;
            }
        ports_.panes.set_split(side);
    }
    for (TreeItem c = ports_.tree.first_child(site_item); c != kNoTreeItem;
         c = ports_.tree.next_sibling(c)) {
        ports_.tree.select_item(c);
        if (!play_item(c, false)) break;
    }
    ports_.panes.select_pane(0);
}

void NetSession::close_items_of(TreeItem site_item) {
    for (TreeItem c = ports_.tree.first_child(site_item); c != kNoTreeItem;
         c = ports_.tree.next_sibling(c)) {
        ports_.tree.select_item(c);
        ports_.panes.leave_full_view();
        const auto data = ports_.tree.item_data(c);
        if (item_play_state(data) == 1 && ports_.panes.pane_is_live(item_pane(data)))
            ports_.panes.close_live_pane(item_pane(data));
        reset_item(c);
    }
    ports_.tree.select_item(site_item);
}

void NetSession::stop_play() {
    const TreeItem site_item = selected_site_item();
    if (site_item == kNoTreeItem) return;
    close_items_of(site_item);
}

void NetSession::disconnect_site() {
    const TreeItem site_item = selected_site_item();
    if (site_item == kNoTreeItem) return;
    const std::string address = site_text_address(ports_.tree.item_text(site_item));
    const int port = static_cast<int>(ports_.tree.item_data(site_item));
    if (camera_item_count(site_item) > 0) close_items_of(site_item);
    ports_.panes.close_timeline_for(address.c_str(), port);
    for (int slot = 0; slot < kMaxConnections; ++slot) {
        const auto& c = table_.connections[static_cast<std::size_t>(slot)];
        if (c && c->address_text() == address && c->port == port) destroy_connection(slot);
    }
    {
        std::lock_guard lock(table_.mutex);
        for (auto& rec : table_.sites)
            if (rec.port == port &&
                std::string(rec.address.data(), strnlen(rec.address.data(), kAddressBytes)) ==
                    address)
                rec = SiteRecord{};
    }
    while (TreeItem c = ports_.tree.first_child(site_item)) {
        if (!ports_.tree.delete_item(c)) break;
    }
}

void NetSession::delete_site() {
    const TreeItem site_item = selected_site_item();
    if (site_item == kNoTreeItem) return;
    const std::string text = ports_.tree.item_text(site_item);
    const auto answer = ports_.message_box.show_message(
        std::string(texts::kDeleteQuestion) + text, texts::kDeleteCaption,
        platform::MessageButtons::yes_no, platform::MessageIcon::warning);
    if (answer != platform::MessageResult::yes) return;
    if (camera_item_count(site_item) > 0) {
        ports_.message_box.show_message(
            texts::kConnectedCantDelete, texts::kConnectedCantDeleteCaption,
            platform::MessageButtons::ok, platform::MessageIcon::warning);
        return;
    }
    ports_.tree.delete_item(site_item);
    if (state_.default_site_item == site_item) state_.default_site_item = kNoTreeItem;
    ports_.config.delete_site(site_text_name(text));
}

void NetSession::default_connection() {
    const TreeItem site_item = selected_site_item();
    if (site_item == kNoTreeItem) return;
    const std::string text = ports_.tree.item_text(site_item);
    const std::string address = site_text_address(text);
    const int port = static_cast<int>(ports_.tree.item_data(site_item));
    const std::string current(
        state_.default_address.data(),
        strnlen(state_.default_address.data(), state_.default_address.size()));
    const bool is_default = current == address && state_.default_port == port;
    ports_.config.toggle_default_connection(is_default, text, ports_.tree.item_data(site_item));
}

}  // namespace orvel::net
