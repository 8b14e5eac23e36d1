// Four live panes recording through the real pipeline in a child process, killed with SIGKILL:
// every file reads and decodes to its last whole record, holds at least what the child counted
// as written, and the structure check calls it "not closed", never damaged.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "../support/temp_dir.h"
#include "dvrtool.h"
#include "media/dvr_verify.h"
#include "server.h"

extern char** environ;

namespace orvel::test {
namespace {

constexpr int kPanes = 4;

std::vector<std::filesystem::path> dvr_files(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.path().extension() == ".dvr") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(RecordKill, KilledWhileFourPanesRecordLeavesReadableNotClosedFiles) {
    dvrsim::Scenario scenario;
    scenario.users["admin"] = "";
    scenario.switch_count = kPanes;
    scenario.stream.loop_frames = 25;
    scenario.stream.gop = 5;
    dvrsim::Server server(scenario);
    std::string error;
    ASSERT_TRUE(server.start("127.0.0.1", 0, error)) << error;
    TempDir dir;

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string port = std::to_string(server.command_port() + 1);
    const std::string panes = std::to_string(kPanes), home = dir.path().string();
    const char* argv[] = {LIVE_RECORD_CHILD, port.c_str(), panes.c_str(), home.c_str(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(
        posix_spawn(&pid, LIVE_RECORD_CHILD, &actions, nullptr, const_cast<char**>(argv), environ),
        0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    // The child says when every pane has 100 frames on disk and goes on recording; a child
    // that dies first closes the pipe and the read ends.
    FILE* from_child = ::fdopen(out[0], "r");
    unsigned written[kPanes] = {};
    const int matched = std::fscanf(from_child, "recording %u %u %u %u", &written[0], &written[1],
                                    &written[2], &written[3]);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::fclose(from_child);
    server.stop();
    ASSERT_EQ(matched, kPanes);
    ASSERT_TRUE(WIFSIGNALED(status));

    // One file per pane (no reconnect happened), in its camera's folder.
    const auto files = dvr_files(dir.path());
    ASSERT_EQ(files.size(), static_cast<std::size_t>(kPanes));
    for (int p = 0; p < kPanes; ++p) {
        const std::string path = files[static_cast<std::size_t>(p)].string();
        SCOPED_TRACE(path);
        EXPECT_NE(path.find("camera 0" + std::to_string(p + 1)), std::string::npos);
        const media::VerifyReport v = media::verify_dvr_file(path);
        EXPECT_EQ(v.verdict, media::VerifyVerdict::not_closed);
        EXPECT_TRUE(v.problems.empty());
        // Frames the child counted include audio frames, each one to six records.
        EXPECT_GE(v.video_records + v.audio_records, written[p]);
        EXPECT_GT(v.key_frames, 0u);

        std::ostringstream report, errors;
        const std::string verify_path = path;
        const char* verify_args[] = {"dvrtool", "verify", verify_path.c_str()};
        EXPECT_EQ(tools::run_dvrtool(3, verify_args, report, errors), 2);
        EXPECT_NE(
            report.str().find(": not closed (" + std::to_string(v.records) + " whole records"),
            std::string::npos)
            << report.str();

        // Plays to its last whole record: every whole picture decodes.
        std::ostringstream frames_out;
        const std::string pictures = dir.file("pictures.yuy2").string();
        const char* frame_args[] = {"dvrtool", "frames", verify_path.c_str(), pictures.c_str()};
        EXPECT_EQ(tools::run_dvrtool(4, frame_args, frames_out, errors), 0) << errors.str();
        unsigned decoded = 0;
        std::sscanf(frames_out.str().c_str(), "width 352 height 288 pictures %u", &decoded);
        EXPECT_GE(decoded + 1, v.video_records);  // the decoder may hold back the last picture
    }
}

}  // namespace
}  // namespace orvel::test
