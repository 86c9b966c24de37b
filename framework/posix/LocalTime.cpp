#include "framework/LocalTime.h"

#include <time.h>

namespace {

struct tm LocalNowFields() {
    const time_t now = ::time(nullptr);
    struct tm fields = {};
    ::localtime_r(&now, &fields);
    return fields;
}

}  // namespace

TDateTime LocalNow() {
    const struct tm now = LocalNowFields();
    TDateTime dt;
    dt.year = now.tm_year + 1900;
    dt.month = now.tm_mon + 1;
    dt.day = now.tm_mday;
    dt.hour = now.tm_hour;
    dt.minute = now.tm_min;
    // A leap second shows as :60; the picked time never does.
    dt.second = now.tm_sec > 59 ? 59 : now.tm_sec;
    return dt;
}

int64_t CurrentUtcOffset() {
    return LocalNowFields().tm_gmtoff;
}

// Not mktime: that would apply the offset of the picked date.
bool LocalToUtcAtCurrentOffset(const TDateTime& local, TTime& utc) {
    return LocalToUtc(local, CurrentUtcOffset(), utc);
}

bool LocalToUtcOnThatDate(const TDateTime& local, TTime& utc) {
    TTime valid;  // the same fields are valid on every platform
    if (!DateTimeToTime(local, valid))
        return false;
    struct tm fields = {};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;  // the zone's rules decide
    const time_t seconds = ::mktime(&fields);
    if (seconds == static_cast<time_t>(-1) && fields.tm_year != 69)
        return false;
    utc = TimeFromUnix(static_cast<int64_t>(seconds), 0);
    return true;
}

bool UtcToLocalOnThatDate(TTime utc, TDateTime& local) {
    // The times Windows takes, so that both platforms agree.
    if (utc.ticks < 0)
        return false;
    int64_t seconds, nanoseconds;
    TimeToUnix(utc, seconds, nanoseconds);
    const time_t t = static_cast<time_t>(seconds);
    struct tm fields = {};
    if (static_cast<int64_t>(t) != seconds || !::localtime_r(&t, &fields) ||
        fields.tm_year + 1900 > kMaxYear)
        return false;
    local = TDateTime{fields.tm_year + 1900, fields.tm_mon + 1,
                      fields.tm_mday,        fields.tm_hour,
                      fields.tm_min,         fields.tm_sec > 59 ? 59 : fields.tm_sec};
    return true;
}
