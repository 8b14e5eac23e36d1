// The camera tree port on a QTreeWidget. Item handles are the items' addresses, checked
// against the set of live items on every call, so a stale handle from a worker is refused
// instead of being dereferenced. State image i shows bitmap i of the tree's image list.
#pragma once

#include <QTreeWidget>

#include <unordered_set>

#include "gui/ui_invoker.h"
#include "platform/ports/tree_control.h"

namespace orvel::gui {

class QtTreeControl final : public platform::TreeControlPort {
public:
    // Thread: UI thread. `tree` and `invoker` outlive the adapter.
    QtTreeControl(QTreeWidget& tree, UiInvoker& invoker);

    // The state image list: bitmap numbers in image-list order.
    static constexpr int kImageCount = 8;
    static const int kImageBitmaps[kImageCount];

    // All port functions: thread: any (a worker's call runs on the UI thread, see UiInvoker).
    platform::TreeItem insert_item(platform::TreeItem parent, std::string_view text,
                                   std::uint32_t data, int state_image) override;
    bool delete_item(platform::TreeItem item) override;
    std::string item_text(platform::TreeItem item) const override;
    bool set_item_text(platform::TreeItem item, std::string_view text) override;
    std::uint32_t item_data(platform::TreeItem item) const override;
    bool set_item_data(platform::TreeItem item, std::uint32_t data) override;
    int state_image(platform::TreeItem item) const override;
    bool set_state_image(platform::TreeItem item, int state_image) override;
    platform::TreeItem root_item() const override;
    platform::TreeItem parent_item(platform::TreeItem item) const override;
    platform::TreeItem first_child(platform::TreeItem item) const override;
    platform::TreeItem next_sibling(platform::TreeItem item) const override;
    bool select_item(platform::TreeItem item) override;
    platform::TreeItem selected_item() const override;
    bool expand_item(platform::TreeItem item, bool expand) override;

    // Handle of a Qt item (kNoTreeItem for null). Thread: UI thread.
    static platform::TreeItem handle_of(QTreeWidgetItem* item);
    // The Qt item of a handle, or null when it is not a live item. Thread: UI thread.
    QTreeWidgetItem* item_of(platform::TreeItem handle) const;

private:
    void forget(QTreeWidgetItem* item);
    static void apply_state_image(QTreeWidgetItem* item, int state_image);

    QTreeWidget& tree_;
    UiInvoker& invoker_;
    std::unordered_set<QTreeWidgetItem*> live_;
};

}  // namespace orvel::gui
