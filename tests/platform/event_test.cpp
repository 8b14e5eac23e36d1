#include "platform/event.h"

#include <gtest/gtest.h>

#include <thread>

namespace orvel::platform {
namespace {

TEST(ManualResetEvent, StaysSignalledUntilResetAndWakesWaiters) {
    ManualResetEvent event;
    EXPECT_FALSE(event.wait_for(0));
    EXPECT_FALSE(event.wait_for(10));
    std::thread setter([&event] { event.set(); });
    EXPECT_TRUE(event.wait_for(5000));
    setter.join();
    EXPECT_TRUE(event.wait_for(0));  // manual reset: still signalled
    EXPECT_TRUE(event.is_set());
    event.reset();
    EXPECT_FALSE(event.is_set());
    EXPECT_FALSE(event.wait_for(-5));
}

}  // namespace
}  // namespace orvel::platform
