// The caption-less main window: skin, every control at its place for the screen mode, the
// pan-tilt-zoom pad, the camera tree and the video area. It holds no logic: every button,
// tree gesture, pad press and slider move is handed to the hooks, which route it to the
// core's dispatcher and operations.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "gui/face_button.h"
#include "gui/pad_button.h"
#include "gui/video_area.h"
#include "platform/ports/tree_control.h"
#include "view/screen_mode.h"

namespace orvel::gui {

enum class TreeGesture { right_click, click, double_click };

// Keys of the main window: the arrows move the selection, Enter enlarges the selected pane
// or returns to the grid, F11 opens the full-screen view.
enum class KeyAction { left, right, up, down, enter, full_screen };

struct MainWindowHooks {
    std::function<void(int id)> command;  // button ids, through the dispatcher
    std::function<void(int scroll_code)> seek_slider;
    std::function<void(TreeGesture, QTreeWidgetItem*, platform::TreeHitPart, QPoint global)> tree;
    std::function<void(int pad_index, bool pressed)> pad;
    std::function<void()> close_requested;  // the window manager asked to close
    std::function<void(KeyAction)> key;
};

class MainWindow : public QWidget {
public:
    // Builds the window for the mode. Thread: UI thread (all members).
    MainWindow(view::ScreenModeKind mode, MainWindowHooks hooks);

    const view::ScreenMode& screen() const { return screen_; }

    // Control by id (null when none): FaceButton, QTreeWidget, QSlider, QComboBox, QLabel
    // or the VideoArea.
    QWidget* control(int id) const;
    FaceButton* button(int id) const;
    QTreeWidget* tree() const { return tree_; }
    QSlider* seek_slider() const { return slider_; }
    QComboBox* speed_box() const { return speed_box_; }
    QLabel* time_text() const { return time_text_; }
    VideoArea* video_area() const { return video_area_; }
    const std::vector<PadButton*>& pad_buttons() const { return pad_; }

    // Where the hit lands on an item of the tree (viewport coordinates).
    platform::TreeHitPart tree_hit_part(QTreeWidgetItem* item, QPoint viewport_pos) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void closeEvent(QCloseEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_controls();
    void build_pad();
    void build_keys();
    void wire_slider();
    void send_command(int id);

    view::ScreenMode screen_;
    MainWindowHooks hooks_;
    std::map<int, QWidget*> controls_;
    std::vector<PadButton*> pad_;
    QTreeWidget* tree_ = nullptr;
    QSlider* slider_ = nullptr;
    QComboBox* speed_box_ = nullptr;
    QLabel* time_text_ = nullptr;
    VideoArea* video_area_ = nullptr;
    bool dragging_ = false;
    QPoint drag_offset_;
    int pending_scroll_code_ = -1;
    bool release_ends_double_click_ = false;  // the tree's next release ends a double click
};

// Text of a string-table entry used as a tooltip (empty for unknown ids).
const char* tooltip_text(int string_id);

}  // namespace orvel::gui
