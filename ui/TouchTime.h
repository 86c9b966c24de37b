#pragma once

#include <string>

#include "framework/TTime.h"

// Reads the time a Touch run gives its files:
//   "2026-12-08 10:30"      local time, by the time zone's rules on that date
//   "2026-12-08 10:30:15"   with seconds; a "T" may stand for the blank
//   "@1765189815"           seconds since 1970-01-01 00:00:00 UTC, a "-" before them allowed
// False for anything else, and for a date or time that does not exist (31 April, 24:00).
[[nodiscard]] bool ParseTouchTime(const std::string& text, TTime& utc);
