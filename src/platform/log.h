#pragma once
// The program's log, as the core sees it: one line per connection event and per failure
// shown to the operator. The front end installs a sink (a rotating file, optionally mirrored
// on standard error); without one, lines go nowhere. Never pass a password.
//
// Lines are formatted into a fixed stack buffer (longer ones are cut), so logging does not
// allocate in the caller; it is for events, never for every frame.
#include <string_view>

namespace orvel::platform {

enum class LogLevel { debug, info, warn, error };

class LogSink {
public:
    virtual ~LogSink() = default;
    // Any thread, concurrently: the sink serialises its own writes.
    virtual void write(LogLevel level, std::string_view line) = 0;
};

// Thread: UI thread, before worker threads start and after they end. Installs the sink (null
// removes it). The sink must outlive every logging thread.
void set_log_sink(LogSink* sink);

// Any thread.
void log_line(LogLevel level, std::string_view line);

// Any thread. printf-style; lines longer than 1,023 bytes are cut.
void log_printf(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

#define ORVEL_LOG_INFO(...) ::orvel::platform::log_printf(::orvel::platform::LogLevel::info, __VA_ARGS__)
#define ORVEL_LOG_WARN(...) ::orvel::platform::log_printf(::orvel::platform::LogLevel::warn, __VA_ARGS__)
#define ORVEL_LOG_ERROR(...) ::orvel::platform::log_printf(::orvel::platform::LogLevel::error, __VA_ARGS__)
#define ORVEL_LOG_DEBUG(...) ::orvel::platform::log_printf(::orvel::platform::LogLevel::debug, __VA_ARGS__)

}  // namespace orvel::platform
