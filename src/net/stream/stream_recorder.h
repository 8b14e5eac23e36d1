#pragma once
// The one place where a pane's recorder sees its stream as it arrives.
//
// A stream connection (live camera or remote recording) may carry one recorder. The network
// thread calls it, in stream order, before the pane's pipeline sees anything:
//   on_stream_header - a stream starts (its first connection, and every reconnect): open a
//                      new .dvr file with this 28-byte header;
//   on_frame         - every whole frame, frame header and payload exactly as on the wire;
//   on_stream_end    - the connection was lost or closed: finish the file (closed mark,
//                      header block rewritten).
// Calls never overlap and never come after StreamHub::close() or set_recorder() returned.
// A recorder must not block for long: the network thread serves every pane.
#include <cstddef>
#include <cstdint>

namespace orvel::net {

class StreamRecorder {
public:
    virtual ~StreamRecorder() = default;
    // Network thread.
    virtual void on_stream_header(const uint8_t* header28) = 0;
    // Network thread. `frame` holds `bytes` bytes: the frame header and its payload.
    virtual void on_frame(const uint8_t* frame, std::size_t bytes) = 0;
    // Network thread.
    virtual void on_stream_end() = 0;
};

}  // namespace orvel::net
