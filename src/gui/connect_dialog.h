// The Connect dialog (template 262) on Qt: the boxes mirror a ConnectDialogModel and
// every decision is taken by net::ConnectDialogLogic.
#pragma once

#include <QDialog>

#include "app/dispatcher.h"
#include "net/connect_dialog_logic.h"
#include "platform/ports/main_controls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace orvel::gui {

class ConnectDialog : public QDialog {
public:
    // Thread: UI thread.
    ConnectDialog(net::ConnectDialogLogic& logic, QWidget* owner);
    ~ConnectDialog() override;

    // The model as the boxes show it now.
    net::ConnectDialogModel model() const;
    // The id of the button that closed the dialog: 1076 (connect) or 1055 (close).
    int closed_by() const { return closed_by_; }

    // Button handlers (also used by tests). While a new connection is being made the
    // connect button is disabled; the dialog closes when it is made and stays after
    // "connect failed".
    void press_connect();
    void press_close();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void show_model(const net::ConnectDialogModel& m);
    void connect_finished(net::ConnectDialogLogic::Outcome outcome);

    net::ConnectDialogLogic& logic_;
    QComboBox* address_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* port1_ = nullptr;
    QLineEdit* port2_ = nullptr;
    QLineEdit* port3_ = nullptr;
    QLineEdit* site_name_ = nullptr;
    QCheckBox* port_check_ = nullptr;
    QCheckBox* save_port_ = nullptr;
    QPushButton* connect_button_ = nullptr;
    int closed_by_ = 0;
    bool settings_saved_ = false;
};

// Runs the dialog modally; returns the id of the button that closed it. Thread: UI thread.
int run_connect_dialog(net::ConnectDialogLogic& logic, QWidget* owner);

// Registers the connect button (1076): pressed face 265, the dialog, face 264 again.
// Thread: UI thread.
void wire_connect_button(app::CommandDispatcher& dispatcher, platform::MainControlsPort& controls,
                         net::ConnectDialogLogic& logic, QWidget* owner);

}  // namespace orvel::gui
