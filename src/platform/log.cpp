#include "platform/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace orvel::platform {
namespace {
std::atomic<LogSink*> g_sink{nullptr};
constexpr int kLineBytes = 1024;
}  // namespace

void set_log_sink(LogSink* sink) { g_sink.store(sink, std::memory_order_release); }

void log_line(LogLevel level, std::string_view line) {
    if (LogSink* sink = g_sink.load(std::memory_order_acquire)) sink->write(level, line);
}

void log_printf(LogLevel level, const char* format, ...) {
    LogSink* sink = g_sink.load(std::memory_order_acquire);
    if (!sink) return;
    char line[kLineBytes];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    const std::size_t size = n < kLineBytes ? static_cast<std::size_t>(n) : kLineBytes - 1;
    sink->write(level, std::string_view(line, size));
}

}  // namespace orvel::platform
