// Logic of the Connect dialog (template 262): its boxes, the port boxes, the recent
// addresses, "save the port" and the connect and close buttons. The Qt dialog only
// mirrors the model. Thread: UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/net_session.h"
#include "net/site_config_port.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"

namespace orvel::net {

// Control ids of the dialog.
namespace connect_id {
inline constexpr int kDialog = 262;
inline constexpr int kPort1 = 1048;
inline constexpr int kPort2 = 1049;
inline constexpr int kPort3 = 1050;
inline constexpr int kUser = 1054;
inline constexpr int kClose = 1055;
inline constexpr int kSiteName = 1056;
inline constexpr int kConnect = 1076;
inline constexpr int kAddress = 1105;
inline constexpr int kPassword = 1109;
inline constexpr int kPortCheck = 1163;
inline constexpr int kSavePort = 1170;
}  // namespace connect_id

// Longest texts the connect button reads from the boxes.
inline constexpr std::size_t kDialogAddressChars = 19;
inline constexpr std::size_t kDialogPasswordChars = 9;
inline constexpr std::size_t kDialogUserChars = 11;
inline constexpr std::size_t kDialogPortChars = 7;
inline constexpr std::size_t kDialogSiteNameChars = 63;
inline constexpr int kDialogX = 300;
inline constexpr int kDialogY = 250;

struct ConnectDialogModel {
    std::vector<std::string> address_items;  // drop-down list: ip0..ip7
    std::string address;
    std::string user;
    std::string password;
    std::string port1 = "9000", port2 = "9001", port3 = "9002";
    std::string site_name;
    bool port_check = false;  // "communicate port："
    bool save_port = false;   // "save the port"
    bool port1_enabled = false, port2_enabled = false, port3_enabled = false;
};

class ConnectDialogLogic {
public:
    // kConnecting: the login waits for a new connection's connect; the outcome (kClose, or
    // kStay after "connect failed") reaches the result handler when it is known.
    enum class Outcome { kStay, kClose, kConnecting };

    ConnectDialogLogic(NetSession& session, view::AppState& state, SiteConfigPort& config,
                       platform::MessageBoxPort& messages);

    // The model a freshly opened dialog shows.
    ConnectDialogModel open() const;
    // Editing box 1048 sets 1049 to its value + 1 and 1050 to that + 1.
    static void command_port_edited(ConnectDialogModel& model, const std::string& text);
    // Ticking enables box 1048 only; unticking disables all three.
    static void port_check_toggled(ConnectDialogModel& model, bool ticked);
    // The "connect" button. kClose when the login was sent, kConnecting when it goes out
    // once the connection is made.
    Outcome connect(ConnectDialogModel& model);
    // "close" and closing the window: save the dialog's settings; a connect still running
    // goes on without the dialog (a failure is still shown).
    void close(const ConnectDialogModel& model);
    // Receives the outcome of a connect that returned kConnecting (the settings are saved
    // before kClose). The dialog sets it while it is open and clears it (null) when it goes.
    void set_result_handler(std::function<void(Outcome)> handler);
    bool waiting() const { return waiting_; }

private:
    void save_settings(const std::string& password, const std::string& address);

    NetSession& session_;
    view::AppState& state_;
    SiteConfigPort& config_;
    platform::MessageBoxPort& messages_;
    std::function<void(Outcome)> result_handler_;
    bool waiting_ = false;
    std::uint64_t wait_token_ = 0;  // a connect's answer counts only while it is the last
};

// Decimal value of a port text as the platform reads integers (0 when no digits).
int port_from_text(const std::string& text);

}  // namespace orvel::net
