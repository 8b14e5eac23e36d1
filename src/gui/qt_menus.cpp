#include "gui/qt_menus.h"

#include "app/menu_defs.h"

namespace orvel::gui {

using platform::MenuId;

namespace {

// The program alone decides check marks (audio choice, default site). A checkable QAction
// flips itself when chosen, so the mark the program set last is put back after a trigger;
// items the program has never checked are not checkable at all and show no mark.
constexpr const char* kProgramCheck = "orvel_checked";

QAction* add_item(QMenu& menu, const QString& text, int command_id) {
    QAction* a = menu.addAction(text);
    a->setData(command_id);
    QObject::connect(a, &QAction::triggered, a, [a] {
        const bool mark = a->property(kProgramCheck).toBool();
        a->setCheckable(mark);
        a->setChecked(mark);
    });
    return a;
}

QAction* find_action(const QMenu& menu, int command_id) {
    for (QAction* a : menu.actions()) {
        if (QMenu* sub = a->menu()) {
            if (QAction* found = find_action(*sub, command_id)) return found;
        } else if (!a->isSeparator() && a->data().toInt() == command_id) {
            return a;
        }
    }
    return nullptr;
}

}  // namespace

QtMenus::QtMenus() {
    for (const app::MenuDef& def : app::menu_definitions()) {
        auto menu = std::make_unique<QMenu>();
        menu->setObjectName(QString::fromLatin1(def.name));
        std::map<std::string, QMenu*> submenus;
        for (const app::MenuItemDef& item : def.items) {
            QMenu* target = menu.get();
            if (item.submenu) {
                QMenu*& sub = submenus[item.submenu];
                if (!sub) sub = menu->addMenu(QString::fromLatin1(item.submenu));
                target = sub;
            }
            if (item.id == 0) {
                target->addSeparator();
                continue;
            }
            add_item(*target, QString::fromUtf8(item.text), item.id);
        }
        menus_[def.menu] = std::move(menu);
    }
}

QtMenus::~QtMenus() = default;

QMenu* QtMenus::menu(MenuId id) const {
    const auto it = menus_.find(id);
    return it == menus_.end() ? nullptr : it->second.get();
}

QAction* QtMenus::action(MenuId id, int command_id) const {
    QMenu* m = menu(id);
    return m ? find_action(*m, command_id) : nullptr;
}

void QtMenus::check_item(MenuId id, int command_id, bool checked) {
    if (QAction* a = action(id, command_id)) {
        a->setProperty(kProgramCheck, checked);
        a->setCheckable(checked);
        a->setChecked(checked);
    }
}

bool QtMenus::is_item_checked(MenuId id, int command_id) const {
    QAction* a = action(id, command_id);
    return a && a->isChecked();
}

void QtMenus::enable_item(MenuId id, int command_id, bool enabled) {
    if (QAction* a = action(id, command_id)) a->setEnabled(enabled);
}

void QtMenus::append_item(MenuId id, int command_id, std::string_view text) {
    QMenu* m = menu(id);
    if (!m || find_action(*m, command_id)) return;
    add_item(*m, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), command_id);
}

bool QtMenus::remove_item(MenuId id, int command_id) {
    QAction* a = action(id, command_id);
    if (!a) return false;
    if (QWidget* owner = qobject_cast<QMenu*>(a->parent())) owner->removeAction(a);
    for (auto& [key, m] : menus_) m->removeAction(a);
    delete a;
    return true;
}

bool QtMenus::has_item(MenuId id, int command_id) const { return action(id, command_id); }

void QtMenus::set_item_text(MenuId id, int command_id, std::string_view text) {
    if (QAction* a = action(id, command_id))
        a->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int QtMenus::popup(MenuId id, int x, int y, platform::PopupAlign align) {
    QMenu* m = menu(id);
    if (!m) return 0;
    // The port speaks main-window client coordinates; the menu opens at screen ones.
    QPoint at = anchor_ ? anchor_->mapToGlobal(QPoint(x, y)) : QPoint(x, y);
    if (align == platform::PopupAlign::bottom_left) at.ry() -= m->sizeHint().height();
    QAction* chosen = popup_override_ ? popup_override_(*m, at) : m->exec(at);
    return chosen ? chosen->data().toInt() : 0;
}

int QtMenus::popup_items(std::span<const platform::PopupItem> items, int x, int y) {
    QMenu m;
    m.setObjectName(QStringLiteral("pane_menu"));
    for (const platform::PopupItem& item : items) {
        if (item.command_id == 0) {
            m.addSeparator();
            continue;
        }
        add_item(m, QString::fromUtf8(item.text.data(), static_cast<qsizetype>(item.text.size())),
                 item.command_id);
    }
    const QPoint at = anchor_ ? anchor_->mapToGlobal(QPoint(x, y)) : QPoint(x, y);
    QAction* chosen = popup_override_ ? popup_override_(m, at) : m.exec(at);
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace orvel::gui
