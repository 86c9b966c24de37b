#include "framework/LocalTime.h"

#include <windows.h>

namespace {

int64_t Ticks(const FILETIME& ft) {
    return static_cast<int64_t>((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

SYSTEMTIME ToSystemTime(const TDateTime& dt) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(dt.year);
    st.wMonth = static_cast<WORD>(dt.month);
    st.wDay = static_cast<WORD>(dt.day);
    st.wHour = static_cast<WORD>(dt.hour);
    st.wMinute = static_cast<WORD>(dt.minute);
    st.wSecond = static_cast<WORD>(dt.second);
    return st;
}

}  // namespace

TDateTime LocalNow() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    TDateTime dt;
    dt.year = now.wYear;
    dt.month = now.wMonth;
    dt.day = now.wDay;
    dt.hour = now.wHour;
    dt.minute = now.wMinute;
    dt.second = now.wSecond;
    return dt;
}

int64_t CurrentUtcOffset() {
    FILETIME utc, local;
    ::GetSystemTimeAsFileTime(&utc);
    if (!::FileTimeToLocalFileTime(&utc, &local))
        return 0;
    return (Ticks(local) - Ticks(utc)) / TTime::kTicksPerSecond;
}

// LocalFileTimeToFileTime applies the bias in force now, whatever the date converted.
bool LocalToUtcAtCurrentOffset(const TDateTime& local, TTime& utc) {
    TTime valid;  // the same fields are valid on every platform
    if (!DateTimeToTime(local, valid))
        return false;
    const SYSTEMTIME st = ToSystemTime(local);
    FILETIME localFt, utcFt;
    if (!::SystemTimeToFileTime(&st, &localFt) || !::LocalFileTimeToFileTime(&localFt, &utcFt))
        return false;
    utc.ticks = Ticks(utcFt);
    return true;
}

bool LocalToUtcOnThatDate(const TDateTime& local, TTime& utc) {
    TTime valid;
    if (!DateTimeToTime(local, valid))
        return false;
    const SYSTEMTIME st = ToSystemTime(local);
    SYSTEMTIME universal;
    FILETIME ft;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &st, &universal) ||
        !::SystemTimeToFileTime(&universal, &ft))
        return false;
    utc.ticks = Ticks(ft);
    return true;
}

bool UtcToLocalOnThatDate(TTime utc, TDateTime& local) {
    if (utc.ticks < 0)
        return false;
    const FILETIME ft{DWORD(uint64_t(utc.ticks)), DWORD(uint64_t(utc.ticks) >> 32)};
    SYSTEMTIME universal, st;
    if (!::FileTimeToSystemTime(&ft, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &st))
        return false;
    local = TDateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    return true;
}
