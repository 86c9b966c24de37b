#include "framework/TTime.h"

#include <gtest/gtest.h>

namespace {

struct Anchor {
    TDateTime dateTime;
    int64_t unixSeconds;
};

// Seconds from an independent calendar; the ends of 32-bit time stamps are among them.
const Anchor kAnchors[] = {
    {{1601, 1, 1, 0, 0, 0}, -11644473600},
    {{1901, 12, 13, 20, 45, 52}, -2147483648LL},
    {{1969, 12, 31, 23, 59, 59}, -1},
    {{1970, 1, 1, 0, 0, 0}, 0},
    {{2000, 2, 29, 12, 0, 0}, 951825600},
    {{2038, 1, 19, 3, 14, 8}, 2147483648LL},
    {{2106, 2, 7, 6, 28, 16}, 4294967296LL},
    {{2400, 2, 29, 0, 0, 0}, 13574563200LL},
    {{9999, 12, 31, 23, 59, 59}, 253402300799LL},
};

TEST(TTime, AnchorsConvertBothWays) {
    for (const Anchor& a : kAnchors) {
        SCOPED_TRACE(::testing::PrintToString(a.dateTime));
        TTime t;
        ASSERT_TRUE(DateTimeToTime(a.dateTime, t));
        EXPECT_EQ(t, TimeFromUnix(a.unixSeconds, 0));
        EXPECT_EQ(TimeToDateTime(t), a.dateTime);
        int64_t seconds = 0, nanoseconds = -1;
        TimeToUnix(t, seconds, nanoseconds);
        EXPECT_EQ(seconds, a.unixSeconds);
        EXPECT_EQ(nanoseconds, 0);
    }
    TTime t;
    ASSERT_TRUE(DateTimeToTime({1601, 1, 1, 0, 0, 0}, t));
    EXPECT_EQ(t.ticks, 0);
    ASSERT_TRUE(DateTimeToTime({kMaxYear, 12, 31, 23, 59, 59}, t));
    EXPECT_EQ(t.ticks, 9223149887990000000LL);
}

// Every day from the first year to well past 2038 is there once, in order, at midnight.
TEST(TTime, EveryDayFollowsTheOneBefore) {
    TDateTime previous = TimeToDateTime(TTime{0});
    for (TTime t{TTime::kTicksPerDay}; t.ticks < TTime::kTicksPerDay * 366 * 1300;
         t.ticks += TTime::kTicksPerDay) {
        TDateTime dt = TimeToDateTime(t);
        TTime back;
        ASSERT_TRUE(DateTimeToTime(dt, back)) << dt;
        ASSERT_EQ(back, t);
        ASSERT_EQ(dt.hour + dt.minute + dt.second, 0) << dt;
        bool nextDay =
            dt.year == previous.year && dt.month == previous.month && dt.day == previous.day + 1;
        bool nextMonth = dt.year == previous.year && dt.month == previous.month + 1 && dt.day == 1;
        bool nextYear = dt.year == previous.year + 1 && dt.month == 1 && dt.day == 1 &&
                        previous.month == 12 && previous.day == 31;
        ASSERT_TRUE(nextDay || nextMonth || nextYear) << previous << " then " << dt;
        previous = dt;
    }
    EXPECT_GE(previous.year, 2900);
}

TEST(TTime, RejectsFieldsOutOfRange) {
    const TDateTime kInvalid[] = {
        {1600, 12, 31, 23, 59, 59}, {kMaxYear + 1, 1, 1, 0, 0, 0}, {2024, 0, 1, 0, 0, 0},
        {2024, 13, 1, 0, 0, 0},     {2024, 1, 0, 0, 0, 0},         {2024, 4, 31, 0, 0, 0},
        {2023, 2, 29, 0, 0, 0},     {1900, 2, 29, 0, 0, 0},        {2100, 2, 29, 0, 0, 0},
        {2024, 1, 1, 24, 0, 0},     {2024, 1, 1, 0, 60, 0},        {2024, 1, 1, 0, 0, 60},
        {2024, 1, 1, -1, 0, 0},
    };
    for (const TDateTime& dt : kInvalid) {
        TTime t{42};
        EXPECT_FALSE(DateTimeToTime(dt, t)) << dt;
        EXPECT_FALSE(LocalToUtc(dt, 0, t)) << dt;
    }
    TTime t;
    EXPECT_TRUE(DateTimeToTime({2024, 2, 29, 0, 0, 0}, t));
    EXPECT_TRUE(DateTimeToTime({2000, 2, 29, 0, 0, 0}, t));
}

TEST(TTime, FractionsOfASecondRoundDownAlsoBefore1970) {
    TTime t = TimeFromUnix(-1, 500'000'000);
    EXPECT_EQ(TimeToDateTime(t), (TDateTime{1969, 12, 31, 23, 59, 59}));
    int64_t seconds, nanoseconds;
    TimeToUnix(t, seconds, nanoseconds);
    EXPECT_EQ(seconds, -1);
    EXPECT_EQ(nanoseconds, 500'000'000);
    TimeToUnix(TTime{t.ticks + 1234567}, seconds, nanoseconds);
    EXPECT_EQ(nanoseconds, 623'456'700);
    EXPECT_EQ(TimeToDateTime(TTime{-1}), (TDateTime{1600, 12, 31, 23, 59, 59}));
    EXPECT_EQ(::testing::PrintToString(t), "1969-12-31 23:59:59.5000000");
}

struct OffsetCase {
    TDateTime local;
    int64_t offsetSeconds;
    TDateTime utc;
};

const OffsetCase kOffsetCases[] = {
    // One hour ahead of UTC: noon is 11:00 UTC, whatever the day.
    {{2024, 1, 15, 12, 0, 0}, 3600, {2024, 1, 15, 11, 0, 0}},
    {{2024, 7, 15, 12, 0, 0}, 3600, {2024, 7, 15, 11, 0, 0}},
    {{2040, 6, 1, 12, 0, 0}, 3600, {2040, 6, 1, 11, 0, 0}},
    {{1965, 12, 31, 12, 0, 0}, 3600, {1965, 12, 31, 11, 0, 0}},
    {{2025, 1, 1, 0, 30, 0}, 3600, {2024, 12, 31, 23, 30, 0}},
    {{2024, 3, 1, 0, 0, 0}, 19800, {2024, 2, 29, 18, 30, 0}},
    {{2023, 12, 31, 20, 0, 0}, -18000, {2024, 1, 1, 1, 0, 0}},
    {{2024, 10, 27, 2, 30, 0}, 0, {2024, 10, 27, 2, 30, 0}},
};

TEST(TTime, LocalToUtcAppliesTheGivenOffset) {
    for (const OffsetCase& c : kOffsetCases) {
        SCOPED_TRACE(::testing::PrintToString(c.local));
        TTime utc;
        ASSERT_TRUE(LocalToUtc(c.local, c.offsetSeconds, utc));
        EXPECT_EQ(TimeToDateTime(utc), c.utc);
        EXPECT_EQ(utc.ticks % TTime::kTicksPerSecond, 0);
    }
}

}  // namespace
