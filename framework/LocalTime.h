#pragma once

#include <cstdint>

#include "framework/TTime.h"

// The local clock, as the user's time zone settings make it.

// The local date and time now, to the second.
TDateTime LocalNow();

// How many seconds the local clock is ahead of UTC now, daylight saving included; negative west
// of Greenwich.
int64_t CurrentUtcOffset();

// Converts a picked local date and time to UTC with the offset in force now, not the one in force
// on the picked date: a summer date picked in winter moves by the winter offset. Every local time
// has exactly one result, even one that a daylight-saving change skips or repeats.
[[nodiscard]] bool LocalToUtcAtCurrentOffset(const TDateTime& local, TTime& utc);

// Converts a local date and time to UTC by the time zone's rules on that date, as clocks and
// calendars read it: a summer date gets the summer offset whenever it is converted. A time that
// a daylight-saving change skips moves on by the change; one that it repeats takes either.
[[nodiscard]] bool LocalToUtcOnThatDate(const TDateTime& local, TTime& utc);

// The local date and time a clock showed at `utc`, by the time zone's rules on that date (a
// summer date with the summer offset); false for a time the conversions cannot take.
[[nodiscard]] bool UtcToLocalOnThatDate(TTime utc, TDateTime& local);
