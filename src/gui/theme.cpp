#include "gui/theme.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyleFactory>

namespace orvel::gui {

void apply_theme(QApplication& app) {
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(30, 34, 40));
    pal.setColor(QPalette::WindowText, QColor(214, 221, 230));
    pal.setColor(QPalette::Base, QColor(16, 18, 22));
    pal.setColor(QPalette::AlternateBase, QColor(26, 29, 35));
    pal.setColor(QPalette::Text, QColor(214, 221, 230));
    pal.setColor(QPalette::Button, QColor(44, 49, 58));
    pal.setColor(QPalette::ButtonText, QColor(214, 221, 230));
    pal.setColor(QPalette::Highlight, QColor(46, 112, 176));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::ToolTipBase, QColor(20, 23, 28));
    pal.setColor(QPalette::ToolTipText, QColor(214, 221, 230));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(100, 106, 116));
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(100, 106, 116));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(100, 106, 116));
    app.setPalette(pal);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(12);
    app.setFont(f);
    app.setStyleSheet(QStringLiteral(
        "QToolTip { color: #d6dde6; background: #14171c; border: 1px solid #46a0eb;"
        "  padding: 3px 6px; }"
        "QTreeWidget { background: #0e1014; color: #d6dde6; border: 1px solid #05060a;"
        "  border-radius: 3px; padding: 2px; outline: 0; }"
        "QTreeWidget::item { height: 19px; }"
        "QTreeWidget::item:hover { background: #1d2530; }"
        "QTreeWidget::item:selected { background: #23507c; color: white; }"
        "QMenu { background: #1c2026; color: #d6dde6; border: 1px solid #3a414c; padding: 4px; }"
        "QMenu::item { padding: 4px 22px 4px 22px; }"
        "QMenu::item:selected { background: #2e70b0; }"
        "QMenu::item:disabled { color: #646a74; }"
        "QMenu::separator { height: 1px; background: #3a414c; margin: 4px 6px; }"
        "QLabel#control_1063 { color: #8fd0ff; background: #0e1014; border: 1px solid #05060a;"
        "  border-radius: 3px; font-family: 'DejaVu Sans Mono'; font-weight: bold; }"
        "QComboBox { background: #2c313a; color: #d6dde6; border: 1px solid #0a0c0f;"
        "  border-radius: 3px; padding: 1px 6px; }"
        "QSlider::groove:horizontal { height: 6px; background: #0e1014; border-radius: 3px;"
        "  border: 1px solid #05060a; }"
        "QSlider::sub-page:horizontal { background: #2e70b0; border-radius: 3px; }"
        "QSlider::handle:horizontal { width: 12px; margin: -5px 0; border-radius: 6px;"
        "  background: #d6dde6; border: 1px solid #0a0c0f; }"
        "QMessageBox { background: #1e2228; }"
        "QPushButton { background: #2c313a; color: #d6dde6; border: 1px solid #0a0c0f;"
        "  border-radius: 3px; padding: 4px 16px; }"
        "QPushButton:hover { border-color: #46a0eb; }"));
}

}  // namespace orvel::gui
