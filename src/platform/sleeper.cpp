#include "platform/ports/sleeper.h"

#include <chrono>
#include <thread>

namespace orvel::platform {

void ThreadSleeper::sleep_ms(int delay_ms) {
    if (delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
}

}  // namespace orvel::platform
