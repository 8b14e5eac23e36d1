// The menus of the main window as QMenus built from the menu definitions; every action
// carries its command id as data. popup() returns the chosen id (0 when dismissed); the
// caller routes it through the command dispatcher.
#pragma once

#include <QMenu>
#include <map>
#include <memory>

#include "platform/ports/menus.h"

namespace orvel::gui {

class QtMenus final : public platform::MenuPort {
public:
    // Builds all six menus. Thread: UI thread (all members).
    QtMenus();
    ~QtMenus() override;

    void check_item(platform::MenuId menu, int command_id, bool checked) override;
    bool is_item_checked(platform::MenuId menu, int command_id) const override;
    void enable_item(platform::MenuId menu, int command_id, bool enabled) override;
    void append_item(platform::MenuId menu, int command_id, std::string_view text) override;
    bool remove_item(platform::MenuId menu, int command_id) override;
    bool has_item(platform::MenuId menu, int command_id) const override;
    void set_item_text(platform::MenuId menu, int command_id, std::string_view text) override;
    int popup(platform::MenuId menu, int x, int y, platform::PopupAlign align) override;
    int popup_items(std::span<const platform::PopupItem> items, int x, int y) override;

    // The QMenu of a menu (null for an unknown one), e.g. for tests.
    QMenu* menu(platform::MenuId menu) const;
    // The action with that id in the menu or its sub-menus, or null.
    QAction* action(platform::MenuId menu, int command_id) const;

    // The main window, whose client coordinates popup() receives (without one they are
    // taken as screen coordinates). Thread: UI thread.
    void set_anchor(QWidget* window) { anchor_ = window; }

    // When set, popup() hands the menu to this function instead of running it modally and
    // uses its answer (tests choose items this way). Thread: UI thread.
    void set_popup_override(std::function<QAction*(QMenu&, QPoint)> fn) {
        popup_override_ = std::move(fn);
    }

private:
    std::map<platform::MenuId, std::unique_ptr<QMenu>> menus_;
    std::function<QAction*(QMenu&, QPoint)> popup_override_;
    QWidget* anchor_ = nullptr;
};

}  // namespace orvel::gui
