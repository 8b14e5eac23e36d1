#include "gui/remote_search_view.h"

namespace orvel::gui {

RemoteSearchView::RemoteSearchView(Links links) : links_(links) {
    login_timer_.setSingleShot(true);
    QObject::connect(&login_timer_, &QTimer::timeout, &context_, [this] {
        if (search_) search_->login_timed_out();
    });
}

RemoteSearchView::~RemoteSearchView() { close_timeline(); }

void RemoteSearchView::set_remote_panes(media::RemotePaneHooks* panes) {
    panes_ = panes != nullptr ? panes : &no_panes_;
}

bool RemoteSearchView::run_date_dialog(const net::QueryDate& query) {
    DateDialog::Hooks hooks;
    hooks.chosen = [this](const std::string& date_text) {
        if (links_.channel)
            links_.channel->send_message(platform::kMsgRemoteDateChosen,
                                         reinterpret_cast<std::intptr_t>(date_text.c_str()), 0);
    };
    hooks.ask_masks = [this](int year, int month) {
        return search_ != nullptr && search_->ask_recording_days({year, month, 1});
    };
    DateDialog dialog(links_.main_window, QDate(query.year, query.month, query.day),
                      std::move(hooks));
    dialog_ = &dialog;
    refresh_masks();
    const int result = runner_ ? runner_(dialog) : dialog.exec();
    dialog_ = nullptr;
    return result == 1;
}

void RemoteSearchView::refresh_masks() {
    if (dialog_ == nullptr || search_ == nullptr || links_.session == nullptr) return;
    // Masks are applied only once the last query is answered; until then none are shown.
    if (!search_->recording_days_current()) return;
    dialog_->set_masks(links_.session->recording_days().masks);
}

void RemoteSearchView::close_remote_panes() {
    if (!timeline_) return;
    media::Timeline& t = timeline_->timeline();
    for (int row = 0; row < media::kMaxDayIndexRows; ++row)
        if (t.row_selected(row)) panes_->close_remote_pane(t.row_camera(row));
    timeline_->clear_selection();
}

void RemoteSearchView::close_timeline() {
    close_remote_panes();
    timeline_.reset();
}

void RemoteSearchView::create_timeline(int camera_count, const std::string& date_text) {
    timeline_ = std::make_unique<TimelineWindow>(links_.main_window, links_.screen, *panes_,
                                                 *links_.messages, camera_count, date_text);
    if (timeline_created_) timeline_created_();
}

void RemoteSearchView::toggle_shown() {
    if (!timeline_ || links_.menus == nullptr) return;
    const platform::MenuId site = platform::MenuId::site;
    if (links_.menus->is_item_checked(site, net::kDisplayFilesCommand)) {
        close_remote_panes();
        links_.menus->check_item(site, net::kDisplayFilesCommand, false);
        timeline_->hide();
    } else {
        links_.menus->check_item(site, net::kDisplayFilesCommand, true);
        timeline_->show();
        timeline_->raise();
    }
}

bool RemoteSearchView::next_segment(int camera) {
    return timeline_ ? timeline_->next_segment(camera) : true;
}

void RemoteSearchView::reseek() {
    if (!timeline_) return;
    timeline_->timeline().reseek();
    timeline_->update();
}

void RemoteSearchView::arm_login_timer(int timeout_ms) { login_timer_.start(timeout_ms); }

void RemoteSearchView::cancel_login_timer() { login_timer_.stop(); }

void RemoteSearchView::post_day_index_changed() {
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            if (timeline_ && links_.session) timeline_->set_rows(links_.session->day_index());
        },
        Qt::QueuedConnection);
}

void RemoteSearchView::post_recording_days_changed() {
    QMetaObject::invokeMethod(
        &context_, [this] { refresh_masks(); }, Qt::QueuedConnection);
}

}  // namespace orvel::gui
