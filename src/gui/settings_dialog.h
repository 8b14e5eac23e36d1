// The settings dialog (template 389) on Qt: recording disk C: to H: with capacity and free
// space, a folder chooser beside each letter to map it, the recording folder, auto-play and
// the display mode. It shows and edits an app::SettingsModel; app::accept_settings writes it.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "app/config.h"
#include "app/dispatcher.h"
#include "app/settings.h"
#include "platform/ports/main_controls.h"
#include "platform/ports/ui_channel.h"

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace orvel::gui {

class SettingsDialog : public QDialog {
public:
    // Asks the operator for the folder a letter stands for; empty: nothing chosen.
    using FolderChooser = std::function<QString(QWidget* parent, char letter, QString current)>;

    // Thread: UI thread. Without a chooser, the platform's folder dialog is used.
    SettingsDialog(app::SettingsModel initial, QWidget* owner, FolderChooser chooser = {});

    // The model with the operator's choices as the controls show them now.
    app::SettingsModel model() const;
    // A control by its id (1111..1116, 1054..1065, 1109, 1164, 1165, 1166, 1, 2), or null.
    QWidget* control(int id) const;
    // The folder chooser beside a letter's row.
    QToolButton* folder_button(char letter) const;

private:
    void show_disk(int index);
    void choose_folder(int index);

    app::SettingsModel model_;
    FolderChooser chooser_;
    std::array<QRadioButton*, app::kDiskCount> disk_{};
    std::array<QLineEdit*, app::kDiskCount> capacity_{};
    std::array<QLineEdit*, app::kDiskCount> remain_{};
    std::array<QToolButton*, app::kDiskCount> folder_{};
    QLineEdit* path_ = nullptr;
    QCheckBox* autoplay_ = nullptr;
    QRadioButton* gpu_ = nullptr;
    QRadioButton* gdi_ = nullptr;
};

// The settings button (1011): pressed face 396, the dialog run modally, on OK the choices
// written (and message 32772 sent through `main_window` when the display mode changed),
// face 395 again. `chooser` replaces the folder dialog (tests). Thread: UI thread.
void wire_settings_button(app::CommandDispatcher& dispatcher, platform::MainControlsPort& controls,
                          app::Config& config, platform::UiMessageChannel& main_window,
                          QWidget* owner, SettingsDialog::FolderChooser chooser = {});

}  // namespace orvel::gui
