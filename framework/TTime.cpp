#include "framework/TTime.h"

#include <cstdio>
#include <ostream>

namespace {

constexpr int64_t kSecondsPerDay = 86'400;
// From 1601-01-01 to 1970-01-01: 369 years with 89 leap days.
constexpr int64_t kDaysTo1970 = 134'774;
constexpr int64_t kTicksTo1970 = kDaysTo1970 * TTime::kTicksPerDay;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a Gregorian date, for any year (H. Hinnant's days_from_civil: the
// year is counted from 1 March, so that the leap day comes last).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719'468;
    const int64_t era = FloorDiv(z, 146'097);
    const int64_t dayOfEra = z - era * 146'097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

bool DateTimeToTime(const TDateTime& dt, TTime& time) {
    if (dt.year < kMinYear || dt.year > kMaxYear || dt.month < 1 || dt.month > 12 || dt.day < 1 ||
        dt.day > DaysInMonth(dt.year, dt.month) || dt.hour < 0 || dt.hour > 23 || dt.minute < 0 ||
        dt.minute > 59 || dt.second < 0 || dt.second > 59)
        return false;
    const int64_t days = DaysFromCivil(dt.year, dt.month, dt.day) + kDaysTo1970;
    const int64_t seconds = days * kSecondsPerDay + dt.hour * 3600 + dt.minute * 60 + dt.second;
    time.ticks = seconds * TTime::kTicksPerSecond;
    return true;
}

TDateTime TimeToDateTime(TTime time) {
    const int64_t seconds = FloorDiv(time.ticks, TTime::kTicksPerSecond);
    const int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const int64_t secondOfDay = seconds - days * kSecondsPerDay;
    TDateTime dt;
    CivilFromDays(days - kDaysTo1970, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(secondOfDay / 3600);
    dt.minute = static_cast<int>(secondOfDay / 60 % 60);
    dt.second = static_cast<int>(secondOfDay % 60);
    return dt;
}

bool LocalToUtc(const TDateTime& local, int64_t offsetSeconds, TTime& utc) {
    // Real offsets lie within ±14 hours; anything beyond a day is a caller's mistake.
    if (offsetSeconds < -kSecondsPerDay || offsetSeconds > kSecondsPerDay)
        return false;
    TTime localTime;
    if (!DateTimeToTime(local, localTime))
        return false;
    utc.ticks = localTime.ticks - offsetSeconds * TTime::kTicksPerSecond;
    return true;
}

TTime TimeFromUnix(int64_t seconds, int64_t nanoseconds) {
    return TTime{kTicksTo1970 + seconds * TTime::kTicksPerSecond + nanoseconds / 100};
}

void TimeToUnix(TTime time, int64_t& seconds, int64_t& nanoseconds) {
    const int64_t ticks = time.ticks - kTicksTo1970;
    seconds = FloorDiv(ticks, TTime::kTicksPerSecond);
    nanoseconds = (ticks - seconds * TTime::kTicksPerSecond) * 100;
}

std::ostream& operator<<(std::ostream& out, const TDateTime& dt) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month, dt.day,
                  dt.hour, dt.minute, dt.second);
    return out << text;
}

std::ostream& operator<<(std::ostream& out, TTime time) {
    const int64_t fraction =
        time.ticks - FloorDiv(time.ticks, TTime::kTicksPerSecond) * TTime::kTicksPerSecond;
    char text[16];
    std::snprintf(text, sizeof text, ".%07lld", static_cast<long long>(fraction));
    return out << TimeToDateTime(time) << text;
}
