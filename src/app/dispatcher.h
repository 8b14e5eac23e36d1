#pragma once
// The single command dispatcher of the main window: every button, menu item and tree
// gesture arrives here by its numeric id and is handed to the operation that owns it.
// The table of entries lists every id; an entry without a handler is an operation that
// is not built yet and does nothing.

#include <functional>
#include <span>
#include <vector>

namespace orvel::app {

// The subsystem that owns an operation.
enum class CommandOwner {
    shell,
    settings,
    sites,
    live_view,
    layout,
    audio,
    playback,
    remote,
    recording,
    snapshots,
    timeline,
    camera_control
};

struct CommandEntry {
    int first_id;
    int last_id;  // inclusive; equal to first_id for single ids
    const char* operation;
    CommandOwner owner;
};

// Every id of the command map, in one table.
std::span<const CommandEntry> command_table();
// The entry holding the id, or null for ids the map ignores.
const CommandEntry* find_command(int id);

using CommandHandler = std::function<void(int id)>;

class CommandDispatcher {
public:
    CommandDispatcher();

    // Installs the handler of the table entry that holds `id` (the whole range).
    // False when no entry holds the id. Thread: UI thread.
    bool set_handler(int id, CommandHandler handler);
    // True when the id's entry has a handler.
    bool is_built(int id) const;

    // Routes the id. Returns true when a handler ran; false for ignored ids and for
    // operations not built yet. Thread: UI thread.
    bool dispatch(int id) const;

private:
    std::vector<CommandHandler> handlers_;  // parallel to command_table()
};

}  // namespace orvel::app
