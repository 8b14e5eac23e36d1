#pragma once
// The one way worker threads reach the UI thread: private messages, sent (the worker waits
// for the answer) or posted (it does not).

#include <cstdint>

namespace orvel::platform {

// Private message numbers of the main window.
inline constexpr int kMsgPaneFinished = 32770;        // wparam: pane, lparam: camera index
inline constexpr int kMsgRemoteDateChosen = 32771;    // wparam: address of the date text
inline constexpr int kMsgDisplayModeChanged = 32772;  // wparam: address of the DISPLAY value

// Implemented by the main window logic; runs on the UI thread.
class UiMessageHandler {
public:
    virtual ~UiMessageHandler() = default;
    // Thread: UI thread only (the channel calls it there).
    virtual std::intptr_t handle_private_message(int message, std::intptr_t wparam,
                                                 std::intptr_t lparam) = 0;
};

class UiMessageChannel {
public:
    virtual ~UiMessageChannel() = default;
    // Delivers the message to the handler on the UI thread and WAITS until it has been
    // handled (including any sleeps of the handler); returns the handler's result.
    // Thread: any. Called on the UI thread itself it runs the handler directly.
    // Returns 0 without handling when the UI thread has stopped taking messages.
    virtual std::intptr_t send_message(int message, std::intptr_t wparam, std::intptr_t lparam) = 0;
    // Queues the message for the handler on the UI thread and returns at once; messages are
    // handled in the order they were posted, however long the UI thread is busy. A message
    // is dropped only when the UI thread has stopped taking messages (shutdown). For
    // workers that need no answer. Thread: any (on the UI thread it runs the handler
    // directly).
    virtual void post_message(int message, std::intptr_t wparam, std::intptr_t lparam) = 0;
};

}  // namespace orvel::platform
