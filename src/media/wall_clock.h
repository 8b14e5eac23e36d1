#pragma once
// Wall-clock time for names of recordings and snapshots and for the hourly file change.
// Injected, so tests can run a recorder through 10:59 -> 11:00 without waiting an hour.
#include <cstdint>

namespace orvel::media {

// A local calendar time (full year, month 1-12, ...).
struct LocalTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// True when both times fall in the same local hour of the same day.
bool same_local_hour(const LocalTime& a, const LocalTime& b);

class WallClock {
public:
    virtual ~WallClock() = default;
    // Milliseconds since 1970-01-01 UTC. Any thread; cheap (called for every recorded frame).
    virtual int64_t now_ms() const = 0;
    // The local calendar time of `ms`. Any thread.
    virtual LocalTime local(int64_t ms) const = 0;
};

// The system's clock and time zone.
class SystemWallClock final : public WallClock {
public:
    int64_t now_ms() const override;
    LocalTime local(int64_t ms) const override;
};

// Calendar time of `ms` in UTC (what a test clock uses as its "local" time).
LocalTime utc_time(int64_t ms);
// Inverse of utc_time for tests: milliseconds of a UTC calendar time.
int64_t utc_ms(int year, int month, int day, int hour, int minute, int second, int ms = 0);

}  // namespace orvel::media
