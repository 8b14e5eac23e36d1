#include "platform/log.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace orvel::platform {
namespace {

struct RecordingSink final : LogSink {
    std::mutex mutex;
    std::vector<std::pair<LogLevel, std::string>> lines;
    void write(LogLevel level, std::string_view line) override {
        std::lock_guard lock(mutex);
        lines.emplace_back(level, std::string(line));
    }
};

TEST(Log, LinesReachTheInstalledSinkOnlyAndLongOnesAreCut) {
    ORVEL_LOG_INFO("before any sink %d", 1);  // goes nowhere, must not crash
    RecordingSink sink;
    set_log_sink(&sink);
    ORVEL_LOG_WARN("connect %s:%d failed", "10.0.0.7", 9000);
    log_line(LogLevel::error, "plain");
    const std::string long_text(3000, 'x');
    ORVEL_LOG_INFO("%s", long_text.c_str());
    set_log_sink(nullptr);
    ORVEL_LOG_INFO("after removal");

    ASSERT_EQ(sink.lines.size(), 3u);
    EXPECT_EQ(sink.lines[0].first, LogLevel::warn);
    EXPECT_EQ(sink.lines[0].second, "connect 10.0.0.7:9000 failed");
    EXPECT_EQ(sink.lines[1].second, "plain");
    EXPECT_EQ(sink.lines[2].second, std::string(1023, 'x'));
}

}  // namespace
}  // namespace orvel::platform
