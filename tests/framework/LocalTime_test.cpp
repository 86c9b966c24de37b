#include "framework/LocalTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

const TDateTime kWinterNoon{2024, 1, 15, 12, 0, 0};
const TDateTime kSummerNoon{2040, 7, 15, 12, 0, 0};

// Whatever date is picked, it moves by the offset in force now.
TEST(LocalTime, PickedDatesUseTheOffsetInForceNow) {
    for (const TDateTime& picked : {kWinterNoon, kSummerNoon}) {
        TTime got, want;
        ASSERT_TRUE(LocalToUtcAtCurrentOffset(picked, got));
        ASSERT_TRUE(LocalToUtc(picked, CurrentUtcOffset(), want));
        EXPECT_EQ(got, want) << picked;
    }
    TTime t;
    EXPECT_FALSE(LocalToUtcAtCurrentOffset({2023, 2, 29, 12, 0, 0}, t));
}

TEST(LocalTime, NowIsTheSystemClockToTheSecond) {
    TTime local;
    ASSERT_TRUE(LocalToUtcAtCurrentOffset(LocalNow(), local));
    auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    TTime system =
        TimeFromUnix(std::chrono::duration_cast<std::chrono::seconds>(since1970).count(), 0);
    EXPECT_LE(std::llabs(local.ticks - system.ticks), 2 * TTime::kTicksPerSecond)
        << local << " vs " << system;
}

// What the clock showed then comes back from the time it was, in winter and in summer alike.
TEST(LocalTime, UtcShowsAsTheLocalTimeOfThatDate) {
    for (const TDateTime& shown : {kWinterNoon, kSummerNoon}) {
        TTime utc;
        TDateTime back;
        ASSERT_TRUE(LocalToUtcOnThatDate(shown, utc));
        ASSERT_TRUE(UtcToLocalOnThatDate(utc, back));
        EXPECT_EQ(back, shown);
    }
    TDateTime local;
    EXPECT_FALSE(UtcToLocalOnThatDate(TTime{-1}, local));
}

#ifndef _WIN32
// Sets TZ for one test and restores it after.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (had_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool had_;
    std::string old_;
};

// A zone with daylight saving: a winter and a summer date get the same shift, the one of now.
TEST(LocalTime, DaylightSavingOfThePickedDateIsIgnored) {
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const int64_t offset = CurrentUtcOffset();
    ASSERT_TRUE(offset == 3600 || offset == 7200) << offset;
    for (const TDateTime& picked : {kWinterNoon, kSummerNoon}) {
        TTime local, utc;
        ASSERT_TRUE(DateTimeToTime(picked, local));
        ASSERT_TRUE(LocalToUtcAtCurrentOffset(picked, utc));
        EXPECT_EQ(local.ticks - utc.ticks, offset * TTime::kTicksPerSecond) << picked;
    }
}

TEST(LocalTime, UtcShowsWithTheOffsetOfThatDate) {
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    TDateTime local;
    ASSERT_TRUE(UtcToLocalOnThatDate(TimeFromUnix(1705320000, 0), local));  // 2024-01-15 12:00
    EXPECT_EQ(local, (TDateTime{2024, 1, 15, 13, 0, 0}));
    ASSERT_TRUE(UtcToLocalOnThatDate(TimeFromUnix(1721044800, 0), local));  // 2024-07-15 12:00
    EXPECT_EQ(local, (TDateTime{2024, 7, 15, 14, 0, 0}));
}
#endif

}  // namespace
