#pragma once
// The writer of local recordings: one thread, shared by every live recording
// (pane_recording.h) and every saved remote copy (remote_saving.h), that writes what the
// panes' network sides queue. It sleeps on a condition variable until a pane queues something
// or is stopped; the number of threads does not grow with the number of recording panes.
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/pane_recording.h"
#include "media/remote_saving.h"

namespace orvel::media {

// Per-pane queue: about 30 seconds of a CIF channel, so a disk that stalls that long loses
// nothing.
inline constexpr std::size_t kDefaultRecordQueueBytes = 2u << 20;

// What the panes and the writer thread share. The wake flag and the lists are guarded by
// `lock`; the writer thread sleeps on `wake_cv`.
struct WriterCore {
    // Any thread: the writer has work (cheap when it already knows).
    void wake();

    std::mutex lock;
    std::condition_variable wake_cv;
    std::condition_variable idle_cv;  // the writer finished a round with nothing left
    std::atomic<bool> pending{false};
    bool stopping = false;                                // guarded by lock
    bool idle = true;                                     // guarded by lock
    std::vector<std::shared_ptr<RecordingJob>> incoming;  // guarded by lock
};

class RecordWriter {
public:
    // Starts the writer thread. `env` must outlive the writer.
    explicit RecordWriter(const RecorderEnv& env,
                          std::size_t queue_bytes = kDefaultRecordQueueBytes);
    // UI thread: writes what is queued, finishes every file, and ends the thread.
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // UI thread. Starts recording `channel` of the DVR at `address` for `pane` and returns
    // the recording that the pane's network side feeds (stream header first). Allocates the
    // pane's queue; never touches the disk.
    std::shared_ptr<PaneRecording> start(int pane, const std::string& address, int channel);
    // UI thread. Starts saving what the remote pane `pane` plays: the DVR recording
    // `dvr_path` of camera `camera` (1-based) of the site at `site_address`, whose stream
    // began with the 28-byte `stream_header`. The pane's network side feeds the returned
    // saving. Allocates its queue; never touches the disk.
    std::shared_ptr<RemoteSaving> start_remote(int pane, const std::string& site_address,
                                               const std::string& dvr_path, int camera,
                                               const uint8_t* stream_header);
    // UI thread. Stops taking frames; the writer writes what is queued and finishes the
    // file. Returns at once; the job's status() says when it is finished.
    void stop(RecordingJob& job);

    // Any thread but the writer: waits until every queued item has been written, at most
    // `timeout_ms`. True when the writer is idle. For tests, tools and benchmarks.
    bool wait_idle(int timeout_ms);

private:
    void run();
    void add(std::shared_ptr<RecordingJob> job);

    const RecorderEnv env_;
    const std::size_t queue_bytes_;
    std::shared_ptr<WriterCore> core_;
    std::vector<std::shared_ptr<RecordingJob>> active_;  // writer thread only
    std::thread thread_;
};

}  // namespace orvel::media
