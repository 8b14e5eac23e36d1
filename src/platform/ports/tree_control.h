#pragma once
// The camera tree: site items at the root, camera items below them. Each item has a
// text, 32-bit item data and a state image index.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvel::platform {

// Opaque item handle; 0 means "no item" (and, as a parent, the root).
using TreeItem = std::uintptr_t;
inline constexpr TreeItem kNoTreeItem = 0;

// Hit-test result of a point on an item (used by click and double-click handling).
enum class TreeHitPart { nowhere, indent, button, label, icon, right_of_label };

class TreeControlPort {
public:
    virtual ~TreeControlPort() = default;

    // All functions: thread: UI thread, or a worker (login thread) — the Qt adapter
    // carries a worker's call over to the UI thread and waits for it (the same
    // synchronous behaviour as control messages sent from a worker).

    // Inserts an item as the last child of `parent` (kNoTreeItem = a root item).
    // Returns the new item, or kNoTreeItem on failure.
    virtual TreeItem insert_item(TreeItem parent, std::string_view text, std::uint32_t data,
                                 int state_image) = 0;
    // Deletes an item and everything below it. False when the item does not exist.
    virtual bool delete_item(TreeItem item) = 0;

    virtual std::string item_text(TreeItem item) const = 0;
    virtual bool set_item_text(TreeItem item, std::string_view text) = 0;
    virtual std::uint32_t item_data(TreeItem item) const = 0;
    virtual bool set_item_data(TreeItem item, std::uint32_t data) = 0;
    virtual int state_image(TreeItem item) const = 0;
    virtual bool set_state_image(TreeItem item, int state_image) = 0;

    // Walk. Each returns kNoTreeItem when there is no such item.
    virtual TreeItem root_item() const = 0;  // first root item
    virtual TreeItem parent_item(TreeItem item) const = 0;
    virtual TreeItem first_child(TreeItem item) const = 0;
    virtual TreeItem next_sibling(TreeItem item) const = 0;

    virtual bool select_item(TreeItem item) = 0;
    virtual TreeItem selected_item() const = 0;
    virtual bool expand_item(TreeItem item, bool expand) = 0;
};

}  // namespace orvel::platform
