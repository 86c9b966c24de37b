#include "framework/win32/ui/TDateTimePicker.h"

#include <commctrl.h>

SYSTEMTIME TDateTimePicker::GetSystemTime() const {
    SYSTEMTIME time{};
    if (Send(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) != GDT_VALID)
        time = SYSTEMTIME{};
    return time;
}

void TDateTimePicker::SetSystemTime(const SYSTEMTIME& time) {
    Send(DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
}
