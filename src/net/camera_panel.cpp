// Camera panel (pad), select-camera button, pane-menu presets, stream select and the
// remote-search queries: requests sent on the UI thread to matching connections.
#include <cstring>

#include "net/net_session.h"

namespace orvel::net {

namespace {

// Stop code sent when a momentary pad button with this press code is released.
int stop_code_for(int press_code) {
    switch (press_code) {
        case kTiltUp:
        case kTiltDown:
            return kStopTilt;
        case kPanLeft:
        case kPanRight:
            return kStopPan;
        case kFocusNear:
        case kFocusFar:
            return kStopFocus;
        case kZoomIn:
        case kZoomOut:
            return kStopZoom;
        case kIrisClose:
        case kIrisOpen:
            return kStopIris;
        default:
            return -1;
    }
}

}  // namespace

const view::PaneSource& NetSession::pane_source(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) pane = 0;
    return state_.pane_sources[static_cast<std::size_t>(pane)];
}

void NetSession::send_to_all(std::string_view address, const Request& request) {
    for (auto& c : table_.connections)
        if (c && c->address_text() == address) send_request(*c, request);
}

int NetSession::first_connection_for(std::string_view address) const {
    for (int slot = 0; slot < kMaxConnections; ++slot) {
        const auto& c = table_.connections[static_cast<std::size_t>(slot)];
        if (c && c->address_text() == address) return slot;
    }
    return -1;
}

namespace {
std::string source_address(const view::PaneSource& s) {
    return std::string(s.address.data(), strnlen(s.address.data(), s.address.size()));
}
int source_camera(const view::PaneSource& s) { return static_cast<int>(s.channel & 0xFFFF); }
}  // namespace

void NetSession::pad_press(int press_code) {
    if (stop_code_for(press_code) < 0) return;
    const auto& src = pane_source(state_.selected_pane.load());
    send_to_all(source_address(src),
                build_camera_control(static_cast<std::uint8_t>(press_code), source_camera(src)));
}

void NetSession::pad_release(int press_code) {
    const int stop = stop_code_for(press_code);
    if (stop < 0) return;
    const auto& src = pane_source(state_.selected_pane.load());
    send_to_all(source_address(src),
                build_camera_control(static_cast<std::uint8_t>(stop), source_camera(src)));
    send_to_all(source_address(src), build_camera_control(kPadActionEnd, source_camera(src)));
}

bool NetSession::pad_latch(int which) {
    const int pane = std::clamp(state_.selected_pane.load(), 0, view::kMaxPanes - 1);
    auto& states = which == 0 ? state_.latch_a : state_.latch_b;
    auto& flag = states[static_cast<std::size_t>(pane)];
    flag = flag ? 0 : 1;
    const std::uint8_t code =
        which == 0 ? (flag ? kToggleAOn : kToggleAOff) : (flag ? kToggleBOn : kToggleBOff);
    const auto& src = pane_source(pane);
    const int slot = first_connection_for(source_address(src));
    if (slot >= 0)
        send_request(*table_.connections[static_cast<std::size_t>(slot)],
                     build_camera_control(code, source_camera(src)));
    return flag != 0;
}

void NetSession::pad_latch_release() {
    const auto& src = pane_source(state_.selected_pane.load());
    send_to_all(source_address(src), build_camera_control(kPadActionEnd, source_camera(src)));
}

bool NetSession::select_camera_toggle() {
    const int pane = std::clamp(state_.selected_pane.load(), 0, view::kMaxPanes - 1);
    auto& flag = select_state_[static_cast<std::size_t>(pane)];
    flag = flag ? 0 : 1;
    const auto& src = pane_source(pane);
    const int slot = first_connection_for(source_address(src));
    if (slot >= 0)
        send_request(
            *table_.connections[static_cast<std::size_t>(slot)],
            build_camera_control(flag ? kSelectCameraOn : kSelectCameraOff, source_camera(src)));
    return flag != 0;
}

bool NetSession::select_camera_state(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) return false;
    return select_state_[static_cast<std::size_t>(pane)] != 0;
}

void NetSession::goto_preset(int pane, int preset) {
    if (preset < 0 || preset >= kPresetsPerCamera + 1) return;  // menu ids 65000..65016
    const auto& src = pane_source(pane);
    const int slot = first_connection_for(source_address(src));
    if (slot >= 0)
        send_request(*table_.connections[static_cast<std::size_t>(slot)],
                     build_camera_control(kGotoPreset, source_camera(src), preset));
}

std::optional<PresetBlock> NetSession::preset_names(int pane) const {
    if (pane < 0 || pane >= view::kMaxPanes) return std::nullopt;
    const auto& src = pane_source(pane);
    const int index = source_camera(src) - 1;  // camera numbers start at 1
    if (index < 0 || index >= kMaxCameras) return std::nullopt;
    const std::string address = source_address(src);
    std::lock_guard lock(table_.mutex);
    for (const auto& rec : table_.sites)
        if (rec.in_use() && std::string(rec.address.data(),
                                        strnlen(rec.address.data(), rec.address.size())) == address)
            return rec.presets[static_cast<std::size_t>(index)];
    return std::nullopt;
}

void NetSession::preset_tour(int pane) {
    const auto& src = pane_source(pane);
    const int slot = first_connection_for(source_address(src));
    if (slot >= 0)
        send_request(*table_.connections[static_cast<std::size_t>(slot)],
                     build_camera_control(kPresetTour, source_camera(src)));
}

void NetSession::stream_select(int pane, bool main_stream, int stream_port,
                               std::uint32_t stream_id) {
    const std::string address = source_address(pane_source(pane));
    for (auto& c : table_.connections)
        if (c && c->address_text() == address && c->port == stream_port - 1) {
            send_request(*c, build_stream_select(main_stream, stream_id));
            return;
        }
}

bool NetSession::send_recording_days_query(const std::string& address, int port,
                                           const QueryDate& date) {
    const int slot = find_connection(address, port);
    if (slot < 0) return false;
    return send_request(*table_.connections[static_cast<std::size_t>(slot)],
                        build_recording_days_query(date));
}

bool NetSession::send_day_index_query(const std::string& address, int port, int camera,
                                      const QueryDate& date) {
    const int slot = find_connection(address, port);
    if (slot < 0) return false;
    return send_request(*table_.connections[static_cast<std::size_t>(slot)],
                        build_day_index_query(camera, date));
}

}  // namespace orvel::net
