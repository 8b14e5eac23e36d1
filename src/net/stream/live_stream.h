#pragma once
// The stream connection of a live pane: opening it, the receiving thread that fills the
// pane's frame ring, and reconnection after a lost connection.
#include <cstdint>

#include "net/stream/frame_split.h"
#include "view/display/display_env.h"

namespace orvel::view {
struct LiveSlot;
}

namespace orvel::net {

// Recording hooks of a live pane (local .dvr files). Called on the UI thread from
// stream_open and on the receiving thread afterwards.
class LiveRecorder : public FrameSink {
public:
    // Opens the first (or, after a reconnect, a new) file and writes its header block.
    virtual void start_file(view::LiveSlot& slot) = 0;
    // Marks the file closed, rewrites its header block and closes it (lost connection).
    virtual void finish_file(view::LiveSlot& slot) = 0;
};

struct LiveStreamEnv {
    view::DisplayEnv display;
    LiveRecorder* recorder = nullptr;  // null: recording is not available
};

// Connects the slot to `address`:`port`, sends the request for `channel`, reads the stream
// header, creates the decoders it asks for, builds the stamp and starts the display and
// receiving threads. False on any failure before the threads start (no message: the caller
// releases the slot). `env` must outlive the slot's threads. UI thread.
bool stream_open(view::LiveSlot& slot, const char* address, int port, int32_t channel,
                 const LiveStreamEnv& env);

// Stops the slot's threads: clears receiving and keep_connected, stops the display thread,
// shuts the socket down and joins both threads, waiting at most `wait_ms` for the receiving
// thread. Returns false when a thread did not end in time; the slot must then not be freed
// until stream_join_all has returned (see live panes). UI thread.
bool stream_stop(view::LiveSlot& slot, int wait_ms);

// Joins whatever threads the slot still has, without a time limit. Any thread but the slot's.
void stream_join_all(view::LiveSlot& slot);

// Thread procedure of the receiving thread (exposed for tests). Returns 1.
int receive_thread_main(view::LiveSlot& slot, const LiveStreamEnv& env);

}  // namespace orvel::net
