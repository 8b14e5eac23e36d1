#pragma once
// Snapshots and printing in the program.
//
// Every pane's picture is taken by its own pipeline: the photo and print commands set the
// pane's snapshot request and the next picture the pane decodes comes here (on that pane's
// worker) before its stamp is burned in. A live pane's picture is written at once, on the
// worker, under its automatic name (C:\DVR\QEV_image\<local time>.bmp through the drive
// mapping); a local-file pane's picture goes to the UI thread, where the save dialog or the
// print dialog runs with the pane held. A paused file pane steps one record to give its
// picture. Pictures are 24-bit BMPs from the GPU path and 32-bit BMPs of the BGRX pictures
// the software path shows.
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/config.h"
#include "app/dispatcher.h"
#include "media/wall_clock.h"
#include "pane/pipeline_env.h"
#include "platform/drives.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"

namespace orvel::gui {

class ProgramPlayback;

class ProgramSnapshots final : public pane::SnapshotTaker {
public:
    struct Links {
        view::AppState* state = nullptr;
        const app::Config* config = nullptr;
        const platform::DriveMap* drives = nullptr;
        platform::MessageBoxPort* messages = nullptr;
        pane::UiPost* ui = nullptr;
        ProgramPlayback* playback = nullptr;
        QWidget* dialog_parent = nullptr;
    };
    // Installs the photo (1068, 32809) and print (1149) commands. UI thread.
    ProgramSnapshots(Links links, app::CommandDispatcher& dispatcher);
    ~ProgramSnapshots() override;

    // The photo command on `pane`. UI thread.
    void photo(int pane);
    // The print command on `pane` (local-file panes only). UI thread.
    void print(int pane);

    // pane::SnapshotTaker (the pane's worker).
    void take(int pane, const uint8_t* yuy2, int width, int height, bool software_path) override;

private:
    enum Want : uint8_t { kNone = 0, kAutoFile, kSaveDialog, kPrint };
    void request(int pane, Want want);
    // UI thread: the picture of a held file pane arrived.
    void save_as(int pane, const std::vector<uint8_t>& bmp);
    void print_bmp(int pane, const std::vector<uint8_t>& bmp);
    void resume_if_held(int pane);

    Links links_;
    media::SystemWallClock clock_;
    // UI thread sets, the pane's worker takes: what the next picture of a pane is for.
    std::array<std::atomic<uint8_t>, view::kMaxPanes> want_{};
    std::array<bool, view::kMaxPanes> held_{};  // UI thread: paused for a dialog
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The name the save dialog's choice is written under: ".bmp" is added only when the chosen
// name does not already end in it.
std::string snapshot_save_name(const std::string& chosen);

}  // namespace orvel::gui
