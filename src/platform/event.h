#pragma once
// A manual-reset event: stays signalled until reset; waits are bounded.

#include <condition_variable>
#include <mutex>

namespace orvel::platform {

class ManualResetEvent {
public:
    // Thread: any.
    void set();
    // Thread: any.
    void reset();
    // Thread: any. True when signalled (at once, or within timeout_ms).
    bool wait_for(int timeout_ms);
    // Thread: any.
    bool is_set() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace orvel::platform
