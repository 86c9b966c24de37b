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
