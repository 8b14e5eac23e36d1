#pragma once
// Recording fakes of the platform ports for tests: each records what was called and
// answers from scripted values. Not thread-safe unless said otherwise.

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/ports/main_controls.h"
#include "platform/ports/menus.h"
#include "platform/ports/message_box.h"
#include "platform/ports/sleeper.h"
#include "platform/ports/timers.h"
#include "platform/ports/tree_control.h"
#include "platform/ports/ui_channel.h"

namespace orvel::test {

struct ShownMessage {
    std::string text;
    std::string caption;
    platform::MessageButtons buttons;
    platform::MessageIcon icon;
};

// Thread-safe: workers may show messages.
class FakeMessageBox : public platform::MessageBoxPort {
public:
    platform::MessageResult show_message(std::string_view text, std::string_view caption,
                                         platform::MessageButtons buttons,
                                         platform::MessageIcon icon) override {
        std::lock_guard lock(mutex_);
        shown.push_back({std::string(text), std::string(caption), buttons, icon});
        if (!answers.empty()) {
            const platform::MessageResult r = answers.front();
            answers.erase(answers.begin());
            return r;
        }
        return buttons == platform::MessageButtons::yes_no ? platform::MessageResult::yes
                                                           : platform::MessageResult::ok;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return shown.size();
    }

    std::vector<ShownMessage> shown;
    std::vector<platform::MessageResult> answers;  // scripted answers, first used first

private:
    mutable std::mutex mutex_;
};

// An in-memory tree. Thread-safe (the login thread fills it).
class FakeTree : public platform::TreeControlPort {
public:
    struct Item {
        platform::TreeItem parent = platform::kNoTreeItem;
        std::string text;
        std::uint32_t data = 0;
        int state_image = 0;
        bool expanded = false;
    };

    platform::TreeItem insert_item(platform::TreeItem parent, std::string_view text,
                                   std::uint32_t data, int state_image) override {
        std::lock_guard lock(mutex_);
        if (parent != platform::kNoTreeItem && !items_.count(parent)) return platform::kNoTreeItem;
        const platform::TreeItem id = next_++;
        items_[id] = Item{parent, std::string(text), data, state_image, false};
        order_.push_back(id);
        return id;
    }
    bool delete_item(platform::TreeItem item) override {
        std::lock_guard lock(mutex_);
        if (!items_.count(item)) return false;
        erase_locked(item);
        return true;
    }
    std::string item_text(platform::TreeItem item) const override {
        std::lock_guard lock(mutex_);
        auto it = items_.find(item);
        return it == items_.end() ? std::string() : it->second.text;
    }
    bool set_item_text(platform::TreeItem item, std::string_view text) override {
        return with_item(item, [&](Item& i) { i.text = std::string(text); });
    }
    std::uint32_t item_data(platform::TreeItem item) const override {
        std::lock_guard lock(mutex_);
        auto it = items_.find(item);
        return it == items_.end() ? 0 : it->second.data;
    }
    bool set_item_data(platform::TreeItem item, std::uint32_t data) override {
        return with_item(item, [&](Item& i) { i.data = data; });
    }
    int state_image(platform::TreeItem item) const override {
        std::lock_guard lock(mutex_);
        auto it = items_.find(item);
        return it == items_.end() ? 0 : it->second.state_image;
    }
    bool set_state_image(platform::TreeItem item, int image) override {
        return with_item(item, [&](Item& i) { i.state_image = image; });
    }
    platform::TreeItem root_item() const override { return first_child(platform::kNoTreeItem); }
    platform::TreeItem parent_item(platform::TreeItem item) const override {
        std::lock_guard lock(mutex_);
        auto it = items_.find(item);
        return it == items_.end() ? platform::kNoTreeItem : it->second.parent;
    }
    platform::TreeItem first_child(platform::TreeItem item) const override {
        std::lock_guard lock(mutex_);
        for (platform::TreeItem id : order_) {
            if (items_.at(id).parent == item) return id;
        }
        return platform::kNoTreeItem;
    }
    platform::TreeItem next_sibling(platform::TreeItem item) const override {
        std::lock_guard lock(mutex_);
        auto it = items_.find(item);
        if (it == items_.end()) return platform::kNoTreeItem;
        auto pos = std::find(order_.begin(), order_.end(), item);
        for (++pos; pos != order_.end(); ++pos) {
            if (items_.at(*pos).parent == it->second.parent) return *pos;
        }
        return platform::kNoTreeItem;
    }
    bool select_item(platform::TreeItem item) override {
        std::lock_guard lock(mutex_);
        if (item != platform::kNoTreeItem && !items_.count(item)) return false;
        selected_ = item;
        return true;
    }
    platform::TreeItem selected_item() const override {
        std::lock_guard lock(mutex_);
        return selected_;
    }
    bool expand_item(platform::TreeItem item, bool expand) override {
        return with_item(item, [&](Item& i) { i.expanded = expand; });
    }

    // Test helpers.
    std::vector<platform::TreeItem> children(platform::TreeItem parent) const {
        std::lock_guard lock(mutex_);
        std::vector<platform::TreeItem> out;
        for (platform::TreeItem id : order_) {
            if (items_.at(id).parent == parent) out.push_back(id);
        }
        return out;
    }
    Item item(platform::TreeItem id) const {
        std::lock_guard lock(mutex_);
        auto it = items_.find(id);
        return it == items_.end() ? Item{} : it->second;
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return items_.size();
    }

private:
    template <typename F>
    bool with_item(platform::TreeItem item, F f) {
        std::lock_guard lock(mutex_);
        auto it = items_.find(item);
        if (it == items_.end()) return false;
        f(it->second);
        return true;
    }
    void erase_locked(platform::TreeItem item) {
        std::vector<platform::TreeItem> kids;
        for (platform::TreeItem id : order_) {
            if (items_.at(id).parent == item) kids.push_back(id);
        }
        for (platform::TreeItem k : kids) erase_locked(k);
        items_.erase(item);
        order_.erase(std::remove(order_.begin(), order_.end(), item), order_.end());
        if (selected_ == item) selected_ = platform::kNoTreeItem;
    }

    mutable std::mutex mutex_;
    std::map<platform::TreeItem, Item> items_;
    std::vector<platform::TreeItem> order_;
    platform::TreeItem next_ = 1;
    platform::TreeItem selected_ = platform::kNoTreeItem;
};

class FakeMenus : public platform::MenuPort {
public:
    struct Entry {
        int id = 0;
        std::string text;
        bool checked = false;
        bool enabled = true;
    };

    void check_item(platform::MenuId menu, int id, bool checked) override {
        if (Entry* e = find(menu, id)) e->checked = checked;
        log.push_back({menu, id, checked ? "check" : "uncheck"});
    }
    bool is_item_checked(platform::MenuId menu, int id) const override {
        const Entry* e = find(menu, id);
        return e != nullptr && e->checked;
    }
    void enable_item(platform::MenuId menu, int id, bool enabled) override {
        if (Entry* e = find(menu, id)) e->enabled = enabled;
        log.push_back({menu, id, enabled ? "enable" : "gray"});
    }
    void append_item(platform::MenuId menu, int id, std::string_view text) override {
        if (find(menu, id)) return;
        menus[menu].push_back({id, std::string(text), false, true});
        log.push_back({menu, id, "append"});
    }
    bool remove_item(platform::MenuId menu, int id) override {
        auto& items = menus[menu];
        auto it =
            std::find_if(items.begin(), items.end(), [&](const Entry& e) { return e.id == id; });
        if (it == items.end()) return false;
        items.erase(it);
        log.push_back({menu, id, "remove"});
        return true;
    }
    bool has_item(platform::MenuId menu, int id) const override {
        return find(menu, id) != nullptr;
    }
    void set_item_text(platform::MenuId menu, int id, std::string_view text) override {
        if (Entry* e = find(menu, id)) e->text = std::string(text);
        log.push_back({menu, id, "text " + std::string(text)});
    }
    int popup(platform::MenuId menu, int x, int y, platform::PopupAlign align) override {
        popups.push_back({menu, x, y, align});
        return popup_answer;
    }
    int popup_items(std::span<const platform::PopupItem> items, int x, int y) override {
        built_popups.emplace_back(items.begin(), items.end());
        popups.push_back({platform::MenuId::pane, x, y, platform::PopupAlign::top_left});
        return popup_answer;
    }
    std::vector<std::vector<platform::PopupItem>> built_popups;  // menus of popup_items

    // Ids of a menu's items in order.
    std::vector<int> ids(platform::MenuId menu) const {
        std::vector<int> out;
        auto it = menus.find(menu);
        if (it != menus.end()) {
            for (const Entry& e : it->second) out.push_back(e.id);
        }
        return out;
    }
    // Ids of the checked items.
    std::vector<int> checked(platform::MenuId menu) const {
        std::vector<int> out;
        auto it = menus.find(menu);
        if (it != menus.end()) {
            for (const Entry& e : it->second) {
                if (e.checked) out.push_back(e.id);
            }
        }
        return out;
    }
    const Entry* entry(platform::MenuId menu, int id) const { return find(menu, id); }

    struct LogEntry {
        platform::MenuId menu;
        int id;
        std::string what;
    };
    struct Popup {
        platform::MenuId menu;
        int x;
        int y;
        platform::PopupAlign align;
    };
    std::map<platform::MenuId, std::vector<Entry>> menus;
    std::vector<LogEntry> log;
    std::vector<Popup> popups;
    int popup_answer = 0;

private:
    Entry* find(platform::MenuId menu, int id) {
        auto it = menus.find(menu);
        if (it == menus.end()) return nullptr;
        for (Entry& e : it->second) {
            if (e.id == id) return &e;
        }
        return nullptr;
    }
    const Entry* find(platform::MenuId menu, int id) const {
        return const_cast<FakeMenus*>(this)->find(menu, id);
    }
};

// Thread-safe.
class FakeControls : public platform::MainControlsPort {
public:
    void set_face(int control_id, int bitmap_id) override {
        std::lock_guard lock(mutex_);
        faces[control_id] = bitmap_id;
        face_log.emplace_back(control_id, bitmap_id);
    }
    void set_enabled(int control_id, bool enabled) override {
        std::lock_guard lock(mutex_);
        enabled_state[control_id] = enabled;
    }
    void set_visible(int control_id, bool visible) override {
        std::lock_guard lock(mutex_);
        visible_state[control_id] = visible;
    }
    void set_text(int control_id, std::string_view text) override {
        std::lock_guard lock(mutex_);
        texts[control_id] = std::string(text);
    }
    void set_slider_range(int control_id, int min_value, int max_value) override {
        std::lock_guard lock(mutex_);
        slider_ranges[control_id] = {min_value, max_value};
    }
    void set_slider_position(int control_id, int position) override {
        std::lock_guard lock(mutex_);
        slider_positions[control_id] = position;
        slider_log.emplace_back(control_id, position);
    }
    int slider_position(int control_id) const override {
        std::lock_guard lock(mutex_);
        auto it = slider_positions.find(control_id);
        return it == slider_positions.end() ? 0 : it->second;
    }
    int combo_selection(int control_id) const override {
        std::lock_guard lock(mutex_);
        auto it = combo_selections.find(control_id);
        return it == combo_selections.end() ? -1 : it->second;
    }
    platform::Rect control_rect(int control_id) const override {
        std::lock_guard lock(mutex_);
        auto it = rects.find(control_id);
        return it == rects.end() ? platform::Rect{} : it->second;
    }
    void invalidate_video(const platform::Rect& area) override {
        std::lock_guard lock(mutex_);
        invalidated.push_back(area);
    }
    void place_video_window(int width, int height) override {
        std::lock_guard lock(mutex_);
        video_window_size = {width, height};
        ++video_placements;
    }
    void minimise_window() override { ++minimised; }
    void post_quit(int exit_code) override { quit_codes.push_back(exit_code); }

    std::map<int, int> faces;
    std::vector<std::pair<int, int>> face_log;
    std::map<int, bool> enabled_state;
    std::map<int, bool> visible_state;
    std::map<int, std::string> texts;
    std::map<int, std::pair<int, int>> slider_ranges;
    std::map<int, int> slider_positions;
    std::vector<std::pair<int, int>> slider_log;
    std::map<int, int> combo_selections;
    std::map<int, platform::Rect> rects;
    std::vector<platform::Rect> invalidated;
    std::pair<int, int> video_window_size{0, 0};
    int video_placements = 0;
    int minimised = 0;
    std::vector<int> quit_codes;

private:
    mutable std::mutex mutex_;
};

class FakeTimers : public platform::TimerPort {
public:
    void start_timer(int timer_id, int period_ms) override {
        running[timer_id] = period_ms;
        starts.emplace_back(timer_id, period_ms);
    }
    void stop_timer(int timer_id) override { running.erase(timer_id); }
    std::map<int, int> running;
    std::vector<std::pair<int, int>> starts;
};

// Records sleeps instead of sleeping. Thread-safe.
class FakeSleeper : public platform::SleepPort {
public:
    void sleep_ms(int delay_ms) override {
        std::lock_guard lock(mutex_);
        sleeps.push_back(delay_ms);
    }
    std::vector<int> taken() const {
        std::lock_guard lock(mutex_);
        return sleeps;
    }
    std::vector<int> sleeps;

private:
    mutable std::mutex mutex_;
};

// Runs the handler directly on the calling thread, serialised, and records the messages.
class FakeUiChannel : public platform::UiMessageChannel {
public:
    explicit FakeUiChannel(platform::UiMessageHandler* handler = nullptr) : handler_(handler) {}
    void set_handler(platform::UiMessageHandler* handler) { handler_ = handler; }
    std::intptr_t send_message(int message, std::intptr_t wparam, std::intptr_t lparam) override {
        std::lock_guard lock(mutex_);
        sent.push_back({message, wparam, lparam});
        return handler_ ? handler_->handle_private_message(message, wparam, lparam) : 0;
    }
    void post_message(int message, std::intptr_t wparam, std::intptr_t lparam) override {
        send_message(message, wparam, lparam);
    }
    struct Sent {
        int message;
        std::intptr_t wparam;
        std::intptr_t lparam;
    };
    std::vector<Sent> sent;

private:
    std::mutex mutex_;
    platform::UiMessageHandler* handler_;
};

}  // namespace orvel::test
