// The private-message channel: a sent message is handled on the UI thread while the worker
// waits, a posted one while the worker goes on; the UI thread calling itself does not
// deadlock; a busy UI thread loses nothing; shutdown releases every waiting worker without
// running its message later.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "gui/ui_channel_qt.h"
#include "gui_test_support.h"

namespace orvel::gui {
namespace {

struct RecordingHandler : platform::UiMessageHandler {
    std::intptr_t handle_private_message(int message, std::intptr_t wparam,
                                         std::intptr_t lparam) override {
        on_ui = QThread::currentThread() == test::app().thread();
        last_message = message;
        last_w = wparam;
        last_l = lparam;
        calls.fetch_add(1);
        if (sleep_ms) QThread::msleep(static_cast<unsigned long>(sleep_ms));
        finished.store(true);
        return 1;
    }
    std::atomic<int> calls{0};
    std::atomic<bool> finished{false};
    bool on_ui = false;
    int last_message = 0;
    std::intptr_t last_w = 0, last_l = 0;
    int sleep_ms = 0;
};

struct ChannelFixture : ::testing::Test {
    void SetUp() override {
        test::app();
        channel.set_handler(&handler);
    }
    RecordingHandler handler;
    UiInvoker invoker;
    QtUiChannel channel{invoker};
};

TEST_F(ChannelFixture, WorkerWaitsUntilTheUiThreadHandledTheMessage) {
    handler.sleep_ms = 50;
    std::atomic<std::intptr_t> result{-1};
    std::atomic<bool> finished_before_return{false};
    std::thread worker([&] {
        result = channel.send_message(platform::kMsgPaneFinished, 7, 3);
        finished_before_return = handler.finished.load();
    });
    ASSERT_TRUE(test::spin_until([&] { return result.load() != -1; }));
    worker.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(finished_before_return.load());  // the handler's sleep was waited for
    EXPECT_TRUE(handler.on_ui);
    EXPECT_EQ(handler.last_message, 32770);
    EXPECT_EQ(handler.last_w, 7);
    EXPECT_EQ(handler.last_l, 3);
}

TEST_F(ChannelFixture, UiThreadSendingToItselfRunsDirectly) {
    EXPECT_EQ(channel.send_message(platform::kMsgDisplayModeChanged, 0, 0), 1);
    EXPECT_EQ(handler.calls.load(), 1);
}

TEST_F(ChannelFixture, MessagesReachingABusyUiThreadAreHandledInOrderWhenItIsFree) {
    // The UI thread takes no events while the worker sends and posts (it is "busy").
    std::atomic<std::intptr_t> sent{-1};
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) channel.post_message(platform::kMsgDisplayModeChanged, i, 0);
    });
    poster.join();  // posting never waits for the UI thread
    std::thread sender([&] { sent = channel.send_message(platform::kMsgPaneFinished, 9, 0); });
    QThread::msleep(50);  // the sender is waiting, not withdrawn
    EXPECT_EQ(handler.calls.load(), 0);
    ASSERT_TRUE(test::spin_until([&] { return sent.load() != -1; }));
    sender.join();
    EXPECT_EQ(sent.load(), 1);
    EXPECT_EQ(handler.calls.load(), 4);
    EXPECT_EQ(handler.last_w, 9);  // the three posted first, then the sent one
}

TEST_F(ChannelFixture, CloseReleasesWaitingWorkersAndDropsWhatWasNotHandled) {
    std::atomic<std::intptr_t> result{-1};
    std::thread poster([&] { channel.post_message(platform::kMsgPaneFinished, 1, 0); });
    poster.join();
    std::thread worker([&] { result = channel.send_message(platform::kMsgPaneFinished, 2, 0); });
    QThread::msleep(30);
    invoker.close();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    std::thread late([&] {
        result = channel.send_message(platform::kMsgPaneFinished, 3, 0);
        channel.post_message(platform::kMsgPaneFinished, 4, 0);
    });
    late.join();
    EXPECT_EQ(result.load(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(handler.calls.load(), 0);
}

TEST_F(ChannelFixture, ManyWorkersAreEachHandledOnce) {
    constexpr int kWorkers = 8;
    std::atomic<int> done{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < kWorkers; ++i) {
        workers.emplace_back([&, i] {
            if (channel.send_message(platform::kMsgPaneFinished, i, 0) == 1) done.fetch_add(1);
        });
    }
    ASSERT_TRUE(test::spin_until([&] { return done.load() == kWorkers; }));
    for (auto& t : workers) t.join();
    EXPECT_EQ(handler.calls.load(), kWorkers);
}

}  // namespace
}  // namespace orvel::gui
