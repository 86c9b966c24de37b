#pragma once

#include <cstdint>
#include <iosfwd>

// A point in time, UTC: a signed count of 100-nanosecond units since 1601-01-01 00:00:00, the
// unit and epoch of Windows file times. Every time stamp a file system hands out fits, and the
// range runs for about 29,000 years either way, so no date of interest ends it.
struct TTime {
    int64_t ticks = 0;

    static constexpr int64_t kTicksPerSecond = 10'000'000;
    static constexpr int64_t kTicksPerDay = 86'400 * kTicksPerSecond;

    friend constexpr bool operator==(TTime a, TTime b) { return a.ticks == b.ticks; }
    friend constexpr bool operator!=(TTime a, TTime b) { return a.ticks != b.ticks; }
    friend constexpr bool operator<(TTime a, TTime b) { return a.ticks < b.ticks; }
};

// "2038-01-19 03:14:08.0000000", for messages and test failures.
std::ostream& operator<<(std::ostream& out, TTime time);

// A date and time of day in the proleptic Gregorian calendar, to the second, with no zone of
// its own: UTC or local time, as its user says.
struct TDateTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const TDateTime& a, const TDateTime& b) {
        return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
               a.minute == b.minute && a.second == b.second;
    }
};

std::ostream& operator<<(std::ostream& out, const TDateTime& dateTime);

// The years the Windows time conversions accept, so that both platforms agree on what is valid.
constexpr int kMinYear = 1601;
constexpr int kMaxYear = 30827;

// False for a field out of range: month 13, 31 April, 29 February 2100, hour 24, second 60
// (no leap seconds), or a year outside kMinYear..kMaxYear.
[[nodiscard]] bool DateTimeToTime(const TDateTime& dateTime, TTime& time);
// Drops the fraction of a second: 1969-12-31 23:59:59.5 gives 23:59:59.
TDateTime TimeToDateTime(TTime time);

// The UTC time at which a clock that runs `offsetSeconds` ahead of UTC (east of Greenwich
// positive) shows `local`. At +3600, 12:00:00 is 11:00:00 UTC on any day, and 1 January
// 00:30:00 is 23:30:00 UTC on 31 December; at -18000, 20:00:00 is 01:00:00 UTC the next day.
[[nodiscard]] bool LocalToUtc(const TDateTime& local, int64_t offsetSeconds, TTime& utc);

// Seconds and nanoseconds since 1970-01-01 00:00:00 UTC, as POSIX counts; the nanoseconds are
// always 0..999999999, also before 1970. The conversion to TTime drops what is below 100 ns.
TTime TimeFromUnix(int64_t seconds, int64_t nanoseconds);
void TimeToUnix(TTime time, int64_t& seconds, int64_t& nanoseconds);
