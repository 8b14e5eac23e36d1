// The draw gate between the pane pipelines and the UI thread's rebuilds: a drain returns only
// after every draw in progress has ended, and gives up on one that never ends.
#include "view/draw_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace orvel::view {
namespace {

TEST(DrawGate, DrainWaitsForTheDrawInProgressAndGivesUpOnAStuckOne) {
    DrawGate gate;
    EXPECT_TRUE(gate.drain(0)) << "nothing in progress: no wait";

    std::atomic<bool> left{false};
    std::atomic<bool> drained_after_leave{false};
    {
        std::atomic<bool> holding{false};
        std::thread pipeline([&] {
            DrawGate::Pass pass(gate);
            holding = true;
            // Ends its draw only once the UI thread waits for it.
            while (!gate.draining()) std::this_thread::yield();
            left = true;
        });
        while (!holding) std::this_thread::yield();
        const bool drained = gate.drain(60'000);
        drained_after_leave = drained && left.load();
        pipeline.join();
    }
    EXPECT_TRUE(drained_after_leave.load());
    EXPECT_EQ(gate.in_flight(), 0);

    // A pass that never ends (a stuck pipeline): the drain is bounded and says so.
    DrawGate::Pass stuck(gate);
    EXPECT_FALSE(gate.drain(1));
    EXPECT_FALSE(gate.draining());
}

}  // namespace
}  // namespace orvel::view
