#pragma once
// Fixed-step waits of the logic (100 ms face flashes, 200 ms seek pauses, ...), behind a
// port so that tests record them instead of sleeping.

namespace orvel::platform {

class SleepPort {
public:
    virtual ~SleepPort() = default;
    // Thread: any.
    virtual void sleep_ms(int delay_ms) = 0;
};

// The real one.
class ThreadSleeper final : public SleepPort {
public:
    void sleep_ms(int delay_ms) override;
};

}  // namespace orvel::platform
