#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <set>

#include "app/command_ids.h"
#include "app/dispatcher.h"
#include "app/lifecycle.h"

namespace orvel::app {
namespace {

// Every id the command map names, one by one.
std::vector<int> all_command_ids() {
    std::vector<int> ids{1011,  1021,  1022,  1023,  1024,  1029,  1027,  1025,  1026,
                         5999,  1028,  1044,  1068,  1149,  1076,  1093,  1123,  1152,
                         1153,  1154,  1155,  32784, 32790, 32792, 32794, 32795, 32796,
                         32797, 32798, 32799, 32800, 32801, 32803, 32804, 32808, 32809,
                         32810, 32811, 32812, 32813, 32814, 65432};
    for (int i = 6000; i <= 6035; ++i) ids.push_back(i);
    for (int i = 65000; i <= 65016; ++i) ids.push_back(i);
    return ids;
}

TEST(Dispatcher, EveryMappedIdReachesItsOwnEntryAndNothingElse) {
    CommandDispatcher dispatcher;
    std::vector<int> routed;
    for (const CommandEntry& entry : command_table()) {
        dispatcher.set_handler(entry.first_id, [&routed](int id) { routed.push_back(id); });
    }
    for (int id : all_command_ids()) {
        routed.clear();
        EXPECT_TRUE(dispatcher.dispatch(id)) << id;
        EXPECT_EQ(routed, std::vector<int>{id}) << id;
    }
    for (int ignored : {0, 1000, 1150, 1168, 5998, 6036, 32785, 32802, 64999, 65017, 65431, -1}) {
        routed.clear();
        EXPECT_FALSE(dispatcher.dispatch(ignored)) << ignored;
        EXPECT_TRUE(routed.empty());
    }
}

TEST(Dispatcher, TableEntriesDoNotOverlapAndUnbuiltEntriesDoNothing) {
    std::set<int> seen;
    for (const CommandEntry& entry : command_table()) {
        ASSERT_LE(entry.first_id, entry.last_id);
        for (int id = entry.first_id; id <= entry.last_id; ++id) {
            EXPECT_TRUE(seen.insert(id).second) << "id in two entries: " << id;
        }
    }
    EXPECT_EQ(seen.size(), all_command_ids().size());

    CommandDispatcher dispatcher;
    EXPECT_FALSE(dispatcher.is_built(id::kSettings));
    EXPECT_FALSE(dispatcher.dispatch(id::kSettings));
    int ranged = 0;
    ASSERT_TRUE(dispatcher.set_handler(65003, [&ranged](int id) { ranged = id; }));
    EXPECT_TRUE(dispatcher.is_built(65000));
    EXPECT_TRUE(dispatcher.dispatch(65016));
    EXPECT_EQ(ranged, 65016);
    EXPECT_FALSE(dispatcher.set_handler(1150, [](int) {}));
    EXPECT_EQ(find_command(1022)->owner, CommandOwner::layout);
}

TEST(Lifecycle, StepsRunInOrderAndUnbuiltStepsKeepTheirPlace) {
    Lifecycle life;
    std::vector<std::string> ran;
    life.set_startup(StartupStep::create_main_window, [&] {
        ran.push_back("window");
        return true;
    });
    life.set_startup(StartupStep::choose_screen_mode, [&] {
        ran.push_back("mode");
        return true;
    });
    life.set_startup(StartupStep::audio_output_open, [&] {
        ran.push_back("audio");
        return true;
    });
    life.set_shutdown(ShutdownStep::sockets_cleanup, [&] { ran.push_back("sockets down"); });
    life.set_shutdown(ShutdownStep::audio_output_close, [&] { ran.push_back("audio down"); });
    life.set_message_loop([&] {
        ran.push_back("loop");
        return 7;
    });
    EXPECT_EQ(life.run(), 7);
    EXPECT_EQ(ran, (std::vector<std::string>{"mode", "audio", "window", "loop", "audio down",
                                             "sockets down"}));
    EXPECT_EQ(life.trace().front(), "choose_screen_mode");
}

TEST(Lifecycle, AFailedStartEndsWithCodeZeroWithoutTheLoop) {
    Lifecycle life;
    bool looped = false, audio_closed = false;
    life.set_startup(StartupStep::create_main_window, [] { return false; });
    life.set_shutdown(ShutdownStep::audio_output_close, [&] { audio_closed = true; });
    life.set_message_loop([&] {
        looped = true;
        return 3;
    });
    EXPECT_EQ(life.run(), 0);
    EXPECT_FALSE(looped);
    EXPECT_TRUE(audio_closed);
}

TEST(Lifecycle, StartSocketsMakesAWriteToAClosedPeerAnErrorInsteadOfTheEnd) {
    struct sigaction previous {};
    ::sigaction(SIGPIPE, nullptr, &previous);
    std::signal(SIGPIPE, SIG_DFL);
    EXPECT_TRUE(Lifecycle::start_sockets());
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const char byte = 1;
    // With the default action the process would end here.
    EXPECT_EQ(::write(fds[1], &byte, 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[1]);
    ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
}  // namespace orvel::app
