#include "media/wall_clock.h"

#include <chrono>
#include <ctime>

namespace orvel::media {

namespace {

LocalTime from_tm(const std::tm& t, int64_t ms) {
    LocalTime l;
    l.year = t.tm_year + 1900;
    l.month = t.tm_mon + 1;
    l.day = t.tm_mday;
    l.hour = t.tm_hour;
    l.minute = t.tm_min;
    l.second = t.tm_sec;
    const int64_t rest = ms % 1000;
    l.millisecond = static_cast<int>(rest < 0 ? rest + 1000 : rest);
    return l;
}

std::time_t seconds_of(int64_t ms) {
    return static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
}

}  // namespace

bool same_local_hour(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour;
}

int64_t SystemWallClock::now_ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

LocalTime SystemWallClock::local(int64_t ms) const {
    const std::time_t s = seconds_of(ms);
    std::tm t{};
    localtime_r(&s, &t);
    return from_tm(t, ms);
}

LocalTime utc_time(int64_t ms) {
    const std::time_t s = seconds_of(ms);
    std::tm t{};
    gmtime_r(&s, &t);
    return from_tm(t, ms);
}

int64_t utc_ms(int year, int month, int day, int hour, int minute, int second, int ms) {
    using namespace std::chrono;
    const sys_days d =
        year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                       std::chrono::day{static_cast<unsigned>(day)}};
    return duration_cast<milliseconds>(d.time_since_epoch()).count() +
           ((hour * 60 + minute) * 60 + second) * int64_t{1000} + ms;
}

}  // namespace orvel::media
