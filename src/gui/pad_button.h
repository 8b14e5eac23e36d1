// One button of the pan-tilt-zoom pad. A momentary button reports its press and its release
// (the camera moves while it is held); a latching button reports each press and shows the
// on/off face the logic gives it.
#pragma once

#include <QWidget>

#include <functional>

namespace orvel::gui {

class PadButton : public QWidget {
public:
    // index: position in the pad table; faces: normal and pressed (momentary) or off and on
    // (latching). Thread: UI thread (all members).
    PadButton(int index, int face, int pressed_face, bool latching, QWidget* parent);

    // Called with (index, true) on press and (index, false) on release.
    void set_handler(std::function<void(int, bool)> handler) { handler_ = std::move(handler); }

    int index() const { return index_; }
    bool latching() const { return latching_; }
    bool is_down() const { return down_; }
    // Latching buttons: show the on or off face.
    void set_on(bool on);
    bool is_on() const { return on_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    int index_;
    int face_;
    int pressed_face_;
    bool latching_;
    bool down_ = false;
    bool on_ = false;
    std::function<void(int, bool)> handler_;
};

}  // namespace orvel::gui
