// The simulated DVR's file port (port + 2): the scenario's recordings, streamed on request.
// A client sends the 76-byte recording request (mode, start offset in seconds, the
// recording's path on the DVR); the DVR answers with the 28-byte stream header and the
// recording's frames from that offset, at real rate (mode 0) or four times as fast (mode 2),
// and closes the connection at the recording's end.
#pragma once

#include <atomic>

#include "file_request.h"
#include "scenario.h"
#include "stream/stream_service.h"

namespace dvrsim {

// Serves one accepted file connection until the recording ends, the client goes away or
// `stopping` is set. A bad request or an unknown path drops only this connection. Closes
// nothing: the caller owns `fd`.
void serve_file_connection(int fd, const Scenario& scenario, const StreamConfig& config,
                           StreamLibrary& library, const std::atomic<bool>& stopping,
                           const StreamLog& log);

}  // namespace dvrsim
