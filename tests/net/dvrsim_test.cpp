// The simulated DVR itself: scenario lines and its handling of hostile clients.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "scenario.h"
#include "server.h"

namespace dvrsim {
namespace {

TEST(DvrsimScenario, ReadsEveryKindOfLineAndRejectsBadOnes) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(load_scenario_text(
        "# demo\nuser admin 1234\nuser guest\ndevice 2\nswitch 8\ncamera 1 Front door\ncamera 2\n"
        "mask 0x5\npreset 3 15 Far corner\ndays 2009-02 0x3\n"
        "recording 3 2009-03-07 D 08:00:00 300 1\nrecording 3 2009-03-08 09:30:00 600 0\nsplit "
        "9\njoin\n"
        "drop-after-ms 250\nreply-excess 16\nlogin-reset 2\nstream-fault stall-mid 300\n"
        "stream-fault camera 3\nstream-alternate 3 c4321 704x576 noaudio\n"
        "drop-clients 1\ndeaf-after-login\n",
        s, error))
        << error;
    EXPECT_EQ(s.reply_excess_bytes, 16);
    EXPECT_EQ(s.login_resets, 2);
    EXPECT_EQ(s.stream.faults.stall_mid_frame_after_ms, 300);
    EXPECT_TRUE(s.stream.faults.hits(3));
    EXPECT_FALSE(s.stream.faults.hits(1));
    ASSERT_EQ(s.stream.alternate.count(3), 1u);
    EXPECT_EQ(s.stream.alternate.at(3).width, 704);
    EXPECT_EQ(s.stream.alternate.at(3).kind, dvrsim::StreamKind::c4321);
    EXPECT_TRUE(s.stream.per_camera.empty()) << "the alternate leaves the camera's own stream";
    EXPECT_EQ(s.users.at("admin"), "1234");
    EXPECT_EQ(s.users.at("guest"), "");
    EXPECT_EQ(s.camera_count(), 16);
    EXPECT_EQ(s.camera_names.at(1), "Front door");
    EXPECT_EQ(s.camera_names.at(2), "");
    EXPECT_TRUE(s.send_mask);
    EXPECT_EQ(s.presets.at(3)[15], "Far corner");
    ASSERT_EQ(s.recordings.size(), 2u);
    EXPECT_EQ(s.recordings[0].drive, 'D');
    EXPECT_EQ(s.recordings[1].drive, 'C');
    EXPECT_EQ(s.month_mask(2009, 3), 0b11000000u);
    EXPECT_EQ(s.month_mask(2009, 2), 3u);
    EXPECT_TRUE(s.join_replies);
    EXPECT_EQ(s.drop_after_ms, 250);
    EXPECT_EQ(s.drop_clients, 1);
    EXPECT_TRUE(s.deaf_after_login);

    for (const char* bad :
         {"bogus 1", "device 300", "preset 37 0 x", "preset 1 16 x", "mask",
          "recording 1 2009-13-01 08:00:00 1 0", "recording 1 2009-01-01 25:00:00 1 0",
          "days 2009 1", "days 99999999-01 1", "days -1-01 1",
          "recording 1 99999999-01-01 08:00:00 1 0", "stream-alternate * mpeg4",
          "stream-fault camera 20000", "reply-excess 5000", "drop-clients"}) {
        Scenario t;
        EXPECT_FALSE(load_scenario_text(std::string("user a b\n") + bad, t, error)) << bad;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
}

int connect_to(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Receives up to `size` bytes, waiting at most 5 s; -1 on timeout, 0 when the peer closed.
ssize_t receive_bounded(int fd, void* into, std::size_t size) {
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return ::recv(fd, into, size, MSG_WAITALL);
}

bool wait_for_log(const Server& server, const std::string& needle) {
    for (int i = 0; i < 200; ++i) {
        for (const auto& l : server.log_lines())
            if (l.find(needle) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(DvrsimServer, BadRequestsDropOnlyThatClient) {
    Scenario s;
    s.users["admin"] = "";
    Server server(s);
    std::string error;
    ASSERT_TRUE(server.start("127.0.0.1", 0, error)) << error;
    const int good = connect_to(server.command_port());
    const int bad = connect_to(server.command_port());
    ASSERT_GE(good, 0);
    ASSERT_GE(bad, 0);
    const std::uint8_t garbage[] = {0, 11, 0, 0, 3, 0, 0xFF};  // length below the header
    ASSERT_EQ(::send(bad, garbage, sizeof garbage, 0), static_cast<ssize_t>(sizeof garbage));
    EXPECT_TRUE(wait_for_log(server, "bad request length 3"));
    // A short login (length 6) is logged as unknown, not read past its end.
    const std::uint8_t short_login[] = {0, 11, 0x21, 0x1C, 6, 0};
    ASSERT_EQ(::send(good, short_login, sizeof short_login, 0), 6);
    EXPECT_TRUE(wait_for_log(server, "unknown type=0 code=11"));
    // The bad client's connection is closed...
    std::uint8_t reply[6] = {};
    EXPECT_EQ(receive_bounded(bad, reply, 1), 0);
    // ...while the other one is still answered: a whole login gets its reply.
    std::uint8_t login[22] = {0, 11, 0, 0, 22, 0, 'a', 'd', 'm', 'i', 'n'};
    ASSERT_EQ(::send(good, login, sizeof login, 0), 22);
    ASSERT_EQ(receive_bounded(good, reply, sizeof reply), 6);
    EXPECT_EQ(reply[0], 0);
    EXPECT_GE(reply[4] | reply[5] << 8, 9);
    // A file-port client that sends a bad request is dropped on its own.
    const int files = connect_to(server.command_port() + 2);
    EXPECT_GE(files, 0);
    std::uint8_t request[76] = {};
    std::fill(request + 12, request + 76, 'x');
    ASSERT_EQ(::send(files, request, sizeof request, 0), 76);
    EXPECT_TRUE(wait_for_log(server, "file: bad request"));
    ::close(files);
    ::close(good);
    ::close(bad);
    server.stop();
    EXPECT_EQ(server.clients_served(), 3);
}

// The program itself: --port 0 prints the ports it took, --set adds scenario lines,
// and --duration ends it cleanly.
TEST(DvrsimProgram, PrintsItsPortsServesAndStopsAfterItsDuration) {
#ifndef ORVEL_DVRSIM_PATH
    GTEST_SKIP() << "dvrsim is not built";
#else
    const std::string command =
        std::string(ORVEL_DVRSIM_PATH) + " --port 0 --duration 1.5 --set 'user admin 1234'";
    FILE* out = ::popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    int a = 0, b = 0, c = 0;
    ASSERT_EQ(std::sscanf(line, "dvrsim listening on 127.0.0.1 ports %d %d %d", &a, &b, &c), 3)
        << line;
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(c, a + 2);
    const int fd = connect_to(a);
    ASSERT_GE(fd, 0);
    const std::uint8_t check[] = {6, 0, 0, 0, 6, 0};
    EXPECT_EQ(::send(fd, check, sizeof check, 0), 6);
    std::string rest;
    while (std::fgets(line, sizeof line, out)) rest += line;
    ::close(fd);
    EXPECT_NE(rest.find("client 1: check"), std::string::npos) << rest;
    EXPECT_NE(rest.find("dvrsim stopped after serving 1 clients"), std::string::npos) << rest;
    EXPECT_EQ(::pclose(out), 0);
#endif
}

}  // namespace
}  // namespace dvrsim
