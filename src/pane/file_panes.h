#pragma once
// Opening and closing the panes that play local .dvr files: a LocalFileSlot (registered in
// the application state) and a FilePane (its pipeline) per pane, and the play commands on
// them. The file is opened for reading only; one that cannot be opened or read is said in a
// message box with its name as the caption and no pane stays taken.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pane/file_pane.h"
#include "pane/pipeline_env.h"
#include "platform/ports/message_box.h"
#include "view/app_state.h"
#include "view/panes.h"

namespace orvel::pane {

class FilePanes {
public:
    // All references must outlive this object. UI thread.
    FilePanes(view::AppState& state, view::PaneLayoutHooks& layout,
              platform::MessageBoxPort& messages, const PipelineEnv& env);
    // Closes every file pane.
    ~FilePanes();
    FilePanes(const FilePanes&) = delete;
    FilePanes& operator=(const FilePanes&) = delete;

    // True when another pane can be had; otherwise says "not picture can use,please stop
    // play" (all 36 panes in use). UI thread.
    bool pane_available();
    // Opens `path` in the selected pane when it is free, else in a chosen one (the grid grows
    // when needed), and plays it at 1x. Returns the pane, or -1 (after a message). UI thread.
    int open_file(const std::string& path);
    // Stops the file and frees the pane. False when it plays no file. UI thread.
    bool close_file_pane(int pane);
    void close_all();

    // UI thread. The pane's file pane, or null.
    FilePane* pane(int pane);
    const FilePane* pane(int pane) const;

    // UI thread: the file of `pane` was played to its end (or was damaged) and the pane has
    // been closed.
    std::function<void(int pane, FileEnd how)> on_ended;
    // UI thread: a file pane was closed (its picture may be cleared).
    std::function<void(int pane)> on_closed;

private:
    void ended(int pane, uint64_t generation, FileEnd how);

    view::AppState& state_;
    view::PaneLayoutHooks& layout_;
    platform::MessageBoxPort& messages_;
    const PipelineEnv& env_;
    // UI thread.
    std::array<std::unique_ptr<FilePane>, view::kMaxPanes> panes_;
    std::array<uint64_t, view::kMaxPanes> generation_{};
    uint64_t next_generation_ = 1;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted ends check it
};

}  // namespace orvel::pane
