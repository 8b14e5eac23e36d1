// The console's dark theme for the standard widgets (tree, menus, tooltips, message boxes,
// slider, combo box).
#pragma once

class QApplication;

namespace orvel::gui {

// Thread: UI thread, after the QApplication exists.
void apply_theme(QApplication& app);

}  // namespace orvel::gui
