#include "gui/program_snapshots.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <cerrno>
#include <cstring>

#include "app/command_ids.h"
#include "gui/print_picture.h"
#include "gui/program_playback.h"
#include "media/bmp.h"
#include "platform/log.h"
#include "view/render/yuy2_convert.h"

namespace orvel::gui {

namespace id = app::id;

std::string snapshot_save_name(const std::string& chosen) {
    const std::string suffix = ".bmp";
    if (chosen.size() >= suffix.size()) {
        std::string tail = chosen.substr(chosen.size() - suffix.size());
        for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (tail == suffix) return chosen;
    }
    return chosen + suffix;
}

ProgramSnapshots::ProgramSnapshots(Links links, app::CommandDispatcher& dispatcher)
    : links_(links) {
    view::AppState& s = *links_.state;
    dispatcher.set_handler(id::kPhoto, [this, &s](int) { photo(s.selected_pane.load()); });
    dispatcher.set_handler(id::kPanePhoto, [this, &s](int) { photo(s.menu_pane); });
    dispatcher.set_handler(id::kPrint, [this, &s](int) { print(s.selected_pane.load()); });
}

ProgramSnapshots::~ProgramSnapshots() = default;

void ProgramSnapshots::photo(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return;
    const view::PaneKind kind = links_.state->pane_kind[static_cast<std::size_t>(pane)];
    if (kind == view::PANE_LIVE) {
        request(pane, kAutoFile);
    } else if (kind == view::PANE_LOCAL_FILE) {
        request(pane, kSaveDialog);
    }
}

void ProgramSnapshots::print(int pane) {
    if (pane < 0 || pane >= view::kMaxPanes) return;
    if (links_.state->pane_kind[static_cast<std::size_t>(pane)] == view::PANE_LOCAL_FILE)
        request(pane, kPrint);
}

void ProgramSnapshots::request(int pane, Want want) {
    const auto p = static_cast<std::size_t>(pane);
    view::ChannelSlot* slot = nullptr;
    if (links_.state->live_slots[p]) slot = links_.state->live_slots[p].get();
    if (links_.state->local_slots[p]) slot = links_.state->local_slots[p].get();
    if (slot == nullptr) return;
    want_[p].store(want);
    slot->snapshot_requested.store(1);
    if (want == kAutoFile) return;
    // A file pane gives its next picture: a paused one steps to it, and the pane stays held
    // until the dialog is done.
    pane::FilePane* file = links_.playback->files().pane(pane);
    if (file == nullptr) return;
    held_[p] = file->play_state() == pane::kLocalPlaying;
    file->step_to_picture();  // paused on the picture while the dialog is open
}

void ProgramSnapshots::take(int pane, const uint8_t* yuy2, int width, int height,
                            bool software_path) {
    if (pane < 0 || pane >= view::kMaxPanes) return;
    const Want want = static_cast<Want>(want_[static_cast<std::size_t>(pane)].exchange(kNone));
    if (want == kNone) return;
    std::vector<uint8_t> bmp;
    bool made = false;
    if (software_path) {
        // The software path shows BGRX pictures: they are written as they stand, 32-bit.
        std::vector<uint8_t> bgrx(static_cast<std::size_t>(width) * height * 4);
        view::yuy2_to_bgrx_copy(yuy2, bgrx.data(), width, height);
        made = media::bmp_from_bgrx(bgrx.data(), bgrx.size(), width, height, bmp);
    } else {
        made = media::bmp_from_yuy2(yuy2, static_cast<std::size_t>(width) * height * 2, width,
                                    height, bmp);
    }
    if (!made) {
        ORVEL_LOG_WARN("snapshot of pane %d: picture %dx%d cannot be written", pane + 1, width,
                       height);
        return;
    }
    std::weak_ptr<int> alive = alive_;
    if (want == kAutoFile) {
        std::string written;
        const bool ok =
            media::snapshot_write_auto(*links_.drives, clock_.local(clock_.now_ms()), bmp, written);
        const int error = errno;
        if (ok) {
            ORVEL_LOG_INFO("snapshot of pane %d written to %s", pane + 1, written.c_str());
            return;
        }
        ORVEL_LOG_ERROR("snapshot of pane %d cannot be written: %s", pane + 1,
                        std::strerror(error));
        links_.ui->post([this, alive, error] {
            if (alive.expired()) return;
            const std::string text =
                std::string("the snapshot cannot be written: ") + std::strerror(error);
            links_.messages->show_message(text, "");
        });
        return;
    }
    links_.ui->post([this, alive, pane, want, bmp = std::move(bmp)] {
        if (alive.expired()) return;
        if (want == kPrint) {
            print_bmp(pane, bmp);
        } else {
            save_as(pane, bmp);
        }
    });
}

void ProgramSnapshots::save_as(int pane, const std::vector<uint8_t>& bmp) {
    // The dialog opens in [PATH] root + "\bmp" through the drive mapping.
    const std::string folder = links_.config->snapshot_root() + "\\bmp";
    const auto mapped = links_.drives->resolve(folder);
    const QString chosen = QFileDialog::getSaveFileName(
        links_.dialog_parent, QString(),
        mapped ? QString::fromStdString(mapped->string()) : QString(), QStringLiteral("*.bmp"));
    if (!chosen.isEmpty()) {
        const std::string path = snapshot_save_name(chosen.toStdString());
        if (media::write_whole_file(path, bmp)) {
            ORVEL_LOG_INFO("snapshot of pane %d saved to %s", pane + 1, path.c_str());
        } else {
            const std::string why = std::strerror(errno);
            ORVEL_LOG_ERROR("snapshot of pane %d cannot be saved to %s: %s", pane + 1, path.c_str(),
                            why.c_str());
            links_.messages->show_message("the snapshot cannot be written: " + why, path);
        }
    }
    resume_if_held(pane);
}

void ProgramSnapshots::print_bmp(int pane, const std::vector<uint8_t>& bmp) {
    const QImage image = image_from_bmp(bmp);
    QPrinter printer;
    printer.setCopyCount(1);
    printer.setFromTo(1, 1);
    QPrintDialog dialog(&printer, links_.dialog_parent);
    if (!image.isNull() && dialog.exec() == QDialog::Accepted && !print_picture(printer, image))
        links_.messages->show_message("the picture cannot be printed", "");
    resume_if_held(pane);
}

void ProgramSnapshots::resume_if_held(int pane) {
    const auto p = static_cast<std::size_t>(pane);
    if (!held_[p]) return;
    held_[p] = false;
    links_.playback->resume(pane);
}

}  // namespace orvel::gui
