// The log file: its default place, lines reaching it through the core's port, rotation
// that keeps five files, and a folder that cannot be written.
#include "platform/log_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "../support/temp_dir.h"

namespace orvel::platform {
namespace {

class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(LogFile, DefaultPathFollowsXdgStateHomeElseTheHomeFolder) {
    {
        EnvVar state("XDG_STATE_HOME", "/var/tmp/state");
        EXPECT_EQ(default_log_path(), "/var/tmp/state/orvelcam/orvelcam.log");
    }
    EnvVar home("HOME", "/home/op");
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/state"}) {
        EnvVar state("XDG_STATE_HOME", unusable);
        EXPECT_EQ(default_log_path(), "/home/op/.local/state/orvelcam/orvelcam.log");
    }
}

TEST(LogFile, PortLinesLandInTheFileAndRotationKeepsFiveFiles) {
    test::TempDir dir;
    const auto path = dir.path() / "state" / "orvelcam" / "orvelcam.log";
    {
        FileLogSink sink({path, 4096, 5, false});
        ASSERT_TRUE(sink.error().empty()) << sink.error();
        set_log_sink(&sink);
        ORVEL_LOG_INFO("command connection to %s:%d: connected", "10.0.0.5", 9000);
        set_log_sink(nullptr);
        const std::string text = test::TempDir::read(path);
        EXPECT_NE(text.find(" info  command connection to 10.0.0.5:9000: connected\n"),
                  std::string::npos)
            << text;
        const auto folder_perms = std::filesystem::status(path.parent_path()).permissions();
        EXPECT_EQ(folder_perms & std::filesystem::perms::all, std::filesystem::perms::owner_all);

        const std::string filler(200, 'x');
        for (int i = 0; i < 500; ++i) sink.write(LogLevel::warn, filler);
    }
    int files = 0;
    std::uintmax_t largest = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path())) {
        ++files;
        largest = std::max(largest, entry.file_size());
    }
    EXPECT_EQ(files, 5);
    EXPECT_LE(largest, 4096u);
}

TEST(LogFile, AFolderThatCannotBeMadeIsReportedAndWritingStaysSafe) {
    test::TempDir dir;
    const auto blocker = dir.write("plain-file", "not a folder");
    FileLogSink sink({blocker / "orvelcam.log", 4096, 5, false});
    EXPECT_FALSE(sink.error().empty());
    sink.write(LogLevel::error, "goes nowhere");
}

}  // namespace
}  // namespace orvel::platform
