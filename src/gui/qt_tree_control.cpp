#include "gui/qt_tree_control.h"

#include "gui/faces.h"

namespace orvel::gui {

using platform::kNoTreeItem;
using platform::TreeItem;

namespace {
constexpr int kDataRole = Qt::UserRole;
constexpr int kStateRole = Qt::UserRole + 1;

QString to_qt(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

const int QtTreeControl::kImageBitmaps[kImageCount] = {423, 424, 422, 425, 421, 426, 424, 427};

QtTreeControl::QtTreeControl(QTreeWidget& tree, UiInvoker& invoker)
    : tree_(tree), invoker_(invoker) {
    tree_.setIconSize(QSize(13, 16));
}

TreeItem QtTreeControl::handle_of(QTreeWidgetItem* item) {
    return reinterpret_cast<TreeItem>(item);
}

QTreeWidgetItem* QtTreeControl::item_of(TreeItem handle) const {
    if (handle == kNoTreeItem) return nullptr;
    auto* item = reinterpret_cast<QTreeWidgetItem*>(handle);
    return live_.count(item) ? item : nullptr;
}

void QtTreeControl::apply_state_image(QTreeWidgetItem* item, int state_image) {
    item->setData(0, kStateRole, state_image);
    if (state_image >= 0 && state_image < kImageCount) {
        item->setIcon(0, QIcon(face_pixmap(kImageBitmaps[state_image])));
    } else {
        item->setIcon(0, QIcon());
    }
}

TreeItem QtTreeControl::insert_item(TreeItem parent, std::string_view text, std::uint32_t data,
                                    int state_image) {
    return invoker_.call(
        [&]() -> TreeItem {
            QTreeWidgetItem* item = nullptr;
            if (parent == kNoTreeItem) {
                item = new QTreeWidgetItem(&tree_);
            } else {
                QTreeWidgetItem* p = item_of(parent);
                if (!p) return kNoTreeItem;
                item = new QTreeWidgetItem(p);
            }
            item->setText(0, to_qt(text));
            item->setData(0, kDataRole, static_cast<qulonglong>(data));
            apply_state_image(item, state_image);
            live_.insert(item);
            return handle_of(item);
        },
        kNoTreeItem);
}

void QtTreeControl::forget(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i) forget(item->child(i));
    live_.erase(item);
}

bool QtTreeControl::delete_item(TreeItem handle) {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            if (!item) return false;
            forget(item);
            delete item;  // removes it (and its children) from the tree
            return true;
        },
        false);
}

std::string QtTreeControl::item_text(TreeItem handle) const {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            return item ? item->text(0).toStdString() : std::string();
        },
        std::string());
}

bool QtTreeControl::set_item_text(TreeItem handle, std::string_view text) {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            if (!item) return false;
            item->setText(0, to_qt(text));
            return true;
        },
        false);
}

std::uint32_t QtTreeControl::item_data(TreeItem handle) const {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            return item ? static_cast<std::uint32_t>(item->data(0, kDataRole).toULongLong())
                        : std::uint32_t{0};
        },
        std::uint32_t{0});
}

bool QtTreeControl::set_item_data(TreeItem handle, std::uint32_t data) {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            if (!item) return false;
            item->setData(0, kDataRole, static_cast<qulonglong>(data));
            return true;
        },
        false);
}

int QtTreeControl::state_image(TreeItem handle) const {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            return item ? item->data(0, kStateRole).toInt() : 0;
        },
        0);
}

bool QtTreeControl::set_state_image(TreeItem handle, int state_image) {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            if (!item) return false;
            apply_state_image(item, state_image);
            return true;
        },
        false);
}

TreeItem QtTreeControl::root_item() const {
    return invoker_.call(
        [&] {
            return tree_.topLevelItemCount() ? handle_of(tree_.topLevelItem(0)) : kNoTreeItem;
        },
        kNoTreeItem);
}

TreeItem QtTreeControl::parent_item(TreeItem handle) const {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            return item ? handle_of(item->parent()) : kNoTreeItem;
        },
        kNoTreeItem);
}

TreeItem QtTreeControl::first_child(TreeItem handle) const {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            return item && item->childCount() ? handle_of(item->child(0)) : kNoTreeItem;
        },
        kNoTreeItem);
}

TreeItem QtTreeControl::next_sibling(TreeItem handle) const {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            if (!item) return kNoTreeItem;
            if (QTreeWidgetItem* parent = item->parent()) {
                const int i = parent->indexOfChild(item) + 1;
                return i < parent->childCount() ? handle_of(parent->child(i)) : kNoTreeItem;
            }
            const int i = tree_.indexOfTopLevelItem(item) + 1;
            return i < tree_.topLevelItemCount() ? handle_of(tree_.topLevelItem(i))
                                                 : kNoTreeItem;
        },
        kNoTreeItem);
}

bool QtTreeControl::select_item(TreeItem handle) {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            if (handle != kNoTreeItem && !item) return false;
            tree_.setCurrentItem(item);
            return true;
        },
        false);
}

TreeItem QtTreeControl::selected_item() const {
    return invoker_.call([&] { return handle_of(tree_.currentItem()); }, kNoTreeItem);
}

bool QtTreeControl::expand_item(TreeItem handle, bool expand) {
    return invoker_.call(
        [&] {
            QTreeWidgetItem* item = item_of(handle);
            if (!item) return false;
            item->setExpanded(expand);
            return true;
        },
        false);
}

}  // namespace orvel::gui
