#include "gui/main_window.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QWindow>

#include "app/command_ids.h"
#include "app/main_layout.h"
#include "app/strings.h"
#include "gui/skin.h"

namespace orvel::gui {

namespace str = app::strings;
using platform::TreeHitPart;

const char* tooltip_text(int string_id) {
    switch (string_id) {
        case 2:
            return str::kStr2ConnectRemote;
        case 4:
            return str::kStr4SelectCamera;
        case 25:
            return str::kStr25FocusFar;
        case 26:
            return str::kStr26FocusNear;
        case 27:
            return str::kStr27LargeHalo;
        case 28:
            return str::kStr28SmallHalo;
        case 29:
            return str::kStr29ZoomShort;
        case 30:
            return str::kStr30ZoomLong;
        case 31:
            return str::kStr31TurnUp;
        case 32:
            return str::kStr32TurnLeft;
        case 33:
            return str::kStr33TurnRight;
        case 34:
            return str::kStr34TurnDown;
        case 38:
            return str::kStr38Exit;
        case 39:
            return str::kStr39Min;
        case 40:
            return str::kStr40FullScreen;
        case 64:
            return str::kStr64Setting;
        case 65:
            return str::kStr65OpenLocalFile;
        default:
            return "";
    }
}

MainWindow::MainWindow(view::ScreenModeKind mode, MainWindowHooks hooks)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      screen_(view::screen_mode_for(mode)),
      hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("OrvelCamMain"));
    setWindowTitle(QStringLiteral("OrvelCam"));
    setFixedSize(screen_.window_width, screen_.window_height);
    move(0, 0);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    build_controls();
    build_pad();
    build_keys();
    wire_slider();
}

void MainWindow::build_keys() {
    const std::pair<QKeySequence, KeyAction> keys[] = {
        {QKeySequence(Qt::Key_Left), KeyAction::left},
        {QKeySequence(Qt::Key_Right), KeyAction::right},
        {QKeySequence(Qt::Key_Up), KeyAction::up},
        {QKeySequence(Qt::Key_Down), KeyAction::down},
        {QKeySequence(Qt::Key_Return), KeyAction::enter},
        {QKeySequence(Qt::Key_Enter), KeyAction::enter},
        {QKeySequence(Qt::Key_F11), KeyAction::full_screen},
    };
    for (const auto& [sequence, action] : keys) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, [this, a = action] {
            if (hooks_.key) hooks_.key(a);
        });
    }
    // The tooltips name the keys.
    if (QWidget* full = control(app::id::kFullScreen))
        full->setToolTip(full->toolTip() + QStringLiteral(" (F11)"));
    if (QWidget* zoom = control(app::id::kZoom)) zoom->setToolTip(QStringLiteral("zoom (Enter)"));
    if (video_area_)
        video_area_->video_window()->setToolTip(
            QStringLiteral("Arrow keys: select a pane\nEnter: enlarge the pane or return\n"
                           "F11: full screen"));
}

void MainWindow::send_command(int id) {
    if (hooks_.command) hooks_.command(id);
}

void MainWindow::build_controls() {
    for (const app::ControlLayout& c : app::main_controls_layout()) {
        const app::ControlPlace& at = c.place(screen_.kind);
        QWidget* w = nullptr;
        switch (c.kind) {
            case app::ControlKind::button:
            case app::ControlKind::static_bitmap: {
                auto* b = new FaceButton(c.id, c.face, c.pressed_face, this);
                const int id = c.id;
                connect(b, &QAbstractButton::clicked, this, [this, id] { send_command(id); });
                w = b;
                break;
            }
            case app::ControlKind::tree:
                tree_ = new QTreeWidget(this);
                tree_->setHeaderHidden(true);
                tree_->setRootIsDecorated(true);
                tree_->setContextMenuPolicy(Qt::CustomContextMenu);
                tree_->setFocusPolicy(Qt::NoFocus);
                tree_->setIndentation(12);
                tree_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
                tree_->header()->setStretchLastSection(false);
                tree_->viewport()->installEventFilter(this);
                connect(tree_, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
                    QTreeWidgetItem* item = tree_->itemAt(pos);
                    if (!item || !hooks_.tree) return;
                    hooks_.tree(TreeGesture::right_click, item, tree_hit_part(item, pos),
                                tree_->viewport()->mapToGlobal(pos));
                });
                w = tree_;
                break;
            case app::ControlKind::slider:
                slider_ = new QSlider(Qt::Horizontal, this);
                slider_->setRange(0, 1000);
                slider_->setValue(0);
                slider_->setFocusPolicy(Qt::NoFocus);
                w = slider_;
                break;
            case app::ControlKind::combo:
                speed_box_ = new QComboBox(this);
                speed_box_->addItems(
                    {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
                speed_box_->setCurrentIndex(0);
                speed_box_->setFocusPolicy(Qt::NoFocus);
                w = speed_box_;
                break;
            case app::ControlKind::static_text:
                time_text_ = new QLabel(QString::fromLatin1(str::kTimeTextZero), this);
                time_text_->setAlignment(Qt::AlignCenter);
                w = time_text_;
                break;
            case app::ControlKind::video_area:
                video_area_ = new VideoArea(this);
                w = video_area_;
                break;
        }
        if (w->objectName().isEmpty()) w->setObjectName(QStringLiteral("control_%1").arg(c.id));
        const QSize size =
            (at.width > 0 && at.height > 0) ? QSize(at.width, at.height) : w->sizeHint();
        w->setGeometry(at.x, at.y, size.width(), size.height());
        const char* tip = tooltip_text(c.tooltip_string);
        if (*tip) w->setToolTip(QString::fromUtf8(tip));
        w->setVisible(c.initially_visible);
        controls_[c.id] = w;
    }
    if (video_area_) {
        // The video window fills the video area until set_layout sizes it.
        video_area_->video_window()->setGeometry(0, 0, video_area_->width(), video_area_->height());
    }
}

void MainWindow::build_pad() {
    int index = 0;
    for (const app::PadButtonLayout& b : app::pad_buttons_layout()) {
        const int pressed =
            b.latching ? b.pressed_face : (b.pressed_face ? b.pressed_face : b.face + 1);
        auto* pb = new PadButton(index, b.face, pressed, b.latching, this);
        const bool wide = screen_.kind == view::ScreenModeKind::mode_1280;
        pb->setGeometry(wide ? b.x_1280 : b.x_1024, wide ? b.y_1280 : b.y_1024, b.width, b.height);
        const char* tip = tooltip_text(b.tooltip_string);
        if (*tip) pb->setToolTip(QString::fromUtf8(tip));
        pb->set_handler([this](int i, bool down) {
            if (hooks_.pad) hooks_.pad(i, down);
        });
        pb->show();
        pb->raise();
        pad_.push_back(pb);
        ++index;
    }
}

void MainWindow::wire_slider() {
    if (!slider_) return;
    // Scroll codes as the logic knows them: 0/1 line, 2/3 page, 4 thumb released,
    // 5 thumb dragged, 6/7 top/bottom.
    connect(slider_, &QAbstractSlider::actionTriggered, this, [this](int action) {
        int code = -1;
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                code = 0;
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                code = 1;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = 2;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = 3;
                break;
            case QAbstractSlider::SliderToMinimum:
                code = 6;
                break;
            case QAbstractSlider::SliderToMaximum:
                code = 7;
                break;
            case QAbstractSlider::SliderMove:
                code = slider_->isSliderDown() ? app::id::kScrollThumbTrack : -1;
                break;
            default:
                break;
        }
        if (code >= 0 && hooks_.seek_slider) hooks_.seek_slider(code);
    });
    connect(slider_, &QAbstractSlider::sliderReleased, this, [this] {
        if (hooks_.seek_slider) hooks_.seek_slider(app::id::kScrollThumbPosition);
    });
}

QWidget* MainWindow::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

FaceButton* MainWindow::button(int id) const { return dynamic_cast<FaceButton*>(control(id)); }

TreeHitPart MainWindow::tree_hit_part(QTreeWidgetItem* item, QPoint pos) const {
    if (!item) return TreeHitPart::nowhere;
    const QRect r = tree_->visualItemRect(item);
    if (pos.x() < r.left()) {
        // Left of the item: the last indentation step holds the expand button.
        const bool has_button = item->childCount() > 0 ||
                                item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator;
        return has_button && pos.x() >= r.left() - tree_->indentation() ? TreeHitPart::button
                                                                        : TreeHitPart::indent;
    }
    const int icon_right = r.left() + tree_->iconSize().width() + 4;
    if (pos.x() < icon_right) return TreeHitPart::icon;
    const int label_right = icon_right + tree_->fontMetrics().horizontalAdvance(item->text(0)) + 8;
    return pos.x() <= label_right ? TreeHitPart::label : TreeHitPart::right_of_label;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (tree_ && watched == tree_->viewport() && hooks_.tree &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
         event->type() == QEvent::MouseButtonDblClick)) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            // A double click arrives as press, release, press, double click, release: the
            // first release is the click, the double click its own gesture, and the last
            // release belongs to the double click (a second click would undo the first).
            if (event->type() == QEvent::MouseButtonPress) {
                release_ends_double_click_ = false;
                return QWidget::eventFilter(watched, event);
            }
            const bool dbl = event->type() == QEvent::MouseButtonDblClick;
            if (!dbl && release_ends_double_click_) {
                release_ends_double_click_ = false;
                return QWidget::eventFilter(watched, event);
            }
            release_ends_double_click_ = dbl;
            const QPoint pos = me->position().toPoint();
            QTreeWidgetItem* item = tree_->itemAt(pos);
            if (item) {
                hooks_.tree(dbl ? TreeGesture::double_click : TreeGesture::click, item,
                            tree_hit_part(item, pos), me->globalPosition().toPoint());
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint_skin(p, screen_.skin_base_bitmap);
}

void MainWindow::mousePressEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    // The band above the video area is the handle of this caption-less window.
    if (e->button() == Qt::LeftButton && at.x() < screen_.video_right &&
        at.y() < screen_.video_top) {
        raise();
        if (windowHandle() && windowHandle()->startSystemMove()) return;
        dragging_ = true;
        drag_offset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
        return;
    }
    QWidget::mousePressEvent(e);
}

void MainWindow::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) {
        move(e->globalPosition().toPoint() - drag_offset_);
        return;
    }
    QWidget::mouseMoveEvent(e);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* e) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(e);
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // Closing from outside ends the program the same way the exit button does.
    e->ignore();
    if (hooks_.close_requested) hooks_.close_requested();
}

}  // namespace orvel::gui
