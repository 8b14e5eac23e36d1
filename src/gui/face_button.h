// A button (or clickable picture) that shows a face by its resource number. The logic
// switches faces by number (pressed, normal, on, off); while the mouse holds it down the
// button shows its pressed face, when it has one, or sinks by one pixel.
#pragma once

#include <QAbstractButton>

namespace orvel::gui {

class FaceButton : public QAbstractButton {
public:
    // Thread: UI thread (all members).
    FaceButton(int control_id, int face, int pressed_face, QWidget* parent);

    int control_id() const { return control_id_; }
    int face() const { return face_; }
    void set_face(int face);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int control_id_;
    int face_;
    int pressed_face_;
};

}  // namespace orvel::gui
