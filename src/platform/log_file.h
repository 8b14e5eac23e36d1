#pragma once
// The program's log file: the sink behind the core's log port (platform/log.h). Lines go to
// a rotating file (the current file and four older ones, 5 MB each) and, when asked, to
// standard error as well. Built on spdlog; nothing outside this file sees it.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/log.h"

namespace orvel::platform {

struct LogFileOptions {
    std::filesystem::path path;             // the current file; older ones get .1 to .4
    std::size_t max_file_bytes = 5u << 20;  // 5 MB
    std::size_t file_count = 5;             // the current file and four older ones
    bool mirror_to_stderr = false;          // --verbose
};

// $XDG_STATE_HOME/orvelcam/orvelcam.log, or ~/.local/state/orvelcam/orvelcam.log when the
// variable is unset or not absolute. Thread: any.
std::filesystem::path default_log_path();

class FileLogSink final : public LogSink {
public:
    // Creates the folder (mode 0700) and opens the file. When the file cannot be opened the
    // sink still mirrors to standard error if asked, and error() says why.
    // Thread: UI thread, before set_log_sink.
    explicit FileLogSink(const LogFileOptions& options);
    ~FileLogSink() override;
    FileLogSink(const FileLogSink&) = delete;
    FileLogSink& operator=(const FileLogSink&) = delete;

    // Empty when the file is open. Thread: any.
    const std::string& error() const { return error_; }

    // Thread: any (the logger serialises its writes). Every line is flushed at once, so a
    // crash loses nothing that was logged.
    void write(LogLevel level, std::string_view line) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string error_;
};

}  // namespace orvel::platform
