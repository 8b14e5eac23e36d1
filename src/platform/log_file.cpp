#include "platform/log_file.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace orvel::platform {

struct FileLogSink::Impl {
    std::unique_ptr<spdlog::logger> logger;
};

std::filesystem::path default_log_path() {
    std::filesystem::path base;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr && home[0] != '\0' ? home : ".") / ".local" /
               "state";
    }
    return base / "orvelcam" / "orvelcam.log";
}

namespace {
spdlog::level::level_enum to_spdlog(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return spdlog::level::debug;
        case LogLevel::info:
            return spdlog::level::info;
        case LogLevel::warn:
            return spdlog::level::warn;
        case LogLevel::error:
            return spdlog::level::err;
    }
    return spdlog::level::info;
}
}  // namespace

FileLogSink::FileLogSink(const LogFileOptions& options) : impl_(std::make_unique<Impl>()) {
    std::vector<spdlog::sink_ptr> sinks;
    try {
        std::error_code ec;
        const auto folder = options.path.parent_path();
        if (!folder.empty()) {
            std::filesystem::create_directories(folder, ec);
            // The log names sites and users: only the owner reads it.
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, ec);
        }
        const std::size_t older_files = options.file_count > 1 ? options.file_count - 1 : 0;
        sinks.push_back(std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            options.path.string(), options.max_file_bytes, older_files));
    } catch (const std::exception& e) {
        error_ = e.what();
    }
    if (options.mirror_to_stderr)
        sinks.push_back(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    impl_->logger = std::make_unique<spdlog::logger>("orvelcam", sinks.begin(), sinks.end());
    impl_->logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %-5l %v");
    impl_->logger->set_level(spdlog::level::debug);
    impl_->logger->flush_on(spdlog::level::debug);
}

FileLogSink::~FileLogSink() = default;

void FileLogSink::write(LogLevel level, std::string_view line) {
    try {
        impl_->logger->log(to_spdlog(level), "{}", line);
    } catch (...) {
        // A full disk must not end the program; the line is lost.
    }
}

}  // namespace orvel::platform
