// Tests of the date-time encoding and of the reproducible random generator.
#include "platform/rtl/DateTime.h"

#include "platform/rtl/Numeric.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

using namespace rtl;

TEST(DateTime, KnownDaysEncode)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_DOUBLE_EQ(EncodeTime(23, 59, 59, 999), (86400000.0 - 1) / 86400000.0);
}

TEST(DateTime, InvalidPartsRaiseConvertError)
{
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
    EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);  // century, not leap
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));              // 400-year leap
    EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
    EXPECT_THROW(EncodeDate(2000, 13, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
    EXPECT_THAT([] { EncodeDate(2000, 0, 1); },
                testing::ThrowsMessage<EConvertError>(testing::StrEq("Invalid argument to date encode")));
}

TEST(DateTime, DecodeInvertsEncodeOverTheWholeRange)
{
    for (int y : {1, 4, 99, 100, 400, 1600, 1899, 1900, 1970, 2000, 2023, 2024, 2100, 9999})
        for (int m = 1; m <= 12; ++m)
            for (int d : {1, 15, DaysInMonth(y, m)}) {
                int yy, mm, dd;
                DecodeDate(EncodeDate(y, m, d), yy, mm, dd);
                ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d);
            }
}

TEST(DateTime, DecodeAgreesWithTheCLibraryCalendar)
{
    // Every 97th day from 1970 to 2037 against the C library's calendar (time_t may be 32 bits).
    for (std::int64_t day = 0; day < 24800; day += 97) {
        const std::time_t t = static_cast<std::time_t>(day * 86400);
        std::tm tm{};
#ifdef _WIN32
        gmtime_s(&tm, &t);
#else
        gmtime_r(&t, &tm);
#endif
        int y, m, d;
        DecodeDate(25569.0 + static_cast<double>(day), y, m, d);
        ASSERT_EQ(y, tm.tm_year + 1900);
        ASSERT_EQ(m, tm.tm_mon + 1);
        ASSERT_EQ(d, tm.tm_mday);
        EXPECT_EQ(DayOfWeek(25569.0 + static_cast<double>(day)), tm.tm_wday + 1);
    }
}

TEST(DateTime, TimeOfDayRoundsToTheMillisecondAndCarries)
{
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(EncodeDate(2024, 2, 28) + EncodeTime(13, 45, 30, 250), y, mo, d, h, mi, s, ms);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 20240228);
    EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 134530250);
    // A hair before midnight rounds up into the next day rather than reading 24:00.
    DecodeDateTime(EncodeDate(2024, 2, 28) + 0.9999999999, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 20240229);
    EXPECT_EQ(h + mi + s + ms, 0);
}

TEST(DateTime, NegativeValuesCountTheTimeForwardFromMidnight)
{
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(-1.25, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 18991229);
    EXPECT_EQ(h, 6);
}

TEST(DateTime, OutOfRangeValuesRaiseInsteadOfReadingGarbage)
{
    int y, m, d;
    EXPECT_THROW(DecodeDate(std::numeric_limits<double>::quiet_NaN(), y, m, d), EConvertError);
    EXPECT_THROW(DecodeDate(1e300, y, m, d), EConvertError);
    EXPECT_THROW(DecodeDate(-693594.5, y, m, d), EConvertError);
    EXPECT_THROW(DecodeDate(2958465.9999999999, y, m, d), EConvertError);
    EXPECT_NO_THROW(DecodeDate(2958465.5, y, m, d));
}

TEST(DateTime, NowIsAPlausibleLocalTime)
{
    const TDateTime now = Now();
    EXPECT_GT(now, EncodeDate(2020, 1, 1));
    EXPECT_LT(now, EncodeDate(2200, 1, 1));
    EXPECT_EQ(Date(), std::trunc(now));
}

TEST(DateTime, FileTimeConvertsToDaysSince1899)
{
    // 2000-01-01 00:00 UTC in file-time ticks; local offset is at most 14 hours.
    const std::uint64_t y2000 = 125911584000000000ULL;
    const TDateTime value = FileTimeToLocalDateTime(y2000);
    EXPECT_NEAR(value, 36526.0, 14.0 / 24.0);
    // Half a day later by the ticks is half a day later in local time too.
    EXPECT_NEAR(FileTimeToLocalDateTime(y2000 + 432000000000ULL) - value, 0.5, 1e-9);
}

TEST(Random, SequenceIsReproducibleFromTheSeed)
{
    SetRandSeed(0);
    // seed' = seed * 134775813 + 1; result = seed' * range >> 32
    EXPECT_EQ(Random(100), 0);             // seed 1
    EXPECT_EQ(Random(1 << 30), 33693953);  // seed 134775814
    SetRandSeed(12345);
    int a[5];
    for (int& x : a)
        x = Random(1000);
    SetRandSeed(12345);
    for (int x : a)
        EXPECT_EQ(Random(1000), x);
}

TEST(Random, StaysInRange)
{
    SetRandSeed(7);
    for (int i = 0; i < 10000; ++i) {
        const int r = Random(37);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 37);
        const double f = Random();
        ASSERT_GE(f, 0.0);
        ASSERT_LT(f, 1.0);
    }
    EXPECT_EQ(Random(0), 0);
    EXPECT_EQ(Random(-5), 0);
}
