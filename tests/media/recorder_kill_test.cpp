// A recording process killed with SIGKILL leaves a file that reads and decodes up to its
// last whole record and that the structure check calls "not closed", not damaged.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "dvrtool.h"
#include "media/dvr_verify.h"
#include "recording_support.h"

extern char** environ;

namespace orvel::media::test {
namespace {

TEST(RecorderKill, AKilledRecorderLeavesAReadableNotClosedFile) {
    RecordingPlace place("C");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string ini = place.ini.path().string(), home = place.dir.file("c").string();
    const char* argv[] = {RECORD_CHILD, ini.c_str(), home.c_str(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, RECORD_CHILD, &actions, nullptr, const_cast<char**>(argv), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    FILE* from_child = ::fdopen(out[0], "r");
    unsigned written = 0;
    const int matched = std::fscanf(from_child, "written %u", &written);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::fclose(from_child);
    ASSERT_EQ(matched, 1);
    ASSERT_TRUE(WIFSIGNALED(status));

    const auto files = place.files();
    ASSERT_EQ(files.size(), 1u);
    const VerifyReport v = verify_dvr_file(files[0]);
    EXPECT_EQ(v.verdict, VerifyVerdict::not_closed);
    EXPECT_TRUE(v.problems.empty());
    EXPECT_GE(v.video_records, written);

    // Read to the end: whole records, then a clean end or an unfinished last record.
    const ReadBack r = read_back(file_bytes(files[0]));
    EXPECT_TRUE(r.end_status == DvrStatus::end_of_file || r.end_status == DvrStatus::truncated);
    EXPECT_EQ(r.records.size(), v.records);
    // ... and every whole picture decodes.
    std::ostringstream report, errors;
    const std::string pictures = place.dir.file("pictures.yuy2").string();
    const std::string path = files[0].string();
    const char* args[] = {"dvrtool", "frames", path.c_str(), pictures.c_str()};
    EXPECT_EQ(tools::run_dvrtool(4, args, report, errors), 0) << errors.str();
    unsigned decoded = 0;
    std::sscanf(report.str().c_str(), "width 352 height 288 pictures %u", &decoded);
    EXPECT_GE(decoded + 1, v.video_records);  // the decoder may hold back the last picture

    std::ostringstream verify_out;
    const char* verify_args[] = {"dvrtool", "verify", path.c_str()};
    EXPECT_EQ(tools::run_dvrtool(3, verify_args, verify_out, errors), 2);
    EXPECT_NE(verify_out.str().find(": not closed ("), std::string::npos) << verify_out.str();
}

}  // namespace
}  // namespace orvel::media::test
